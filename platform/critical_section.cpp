#include "platform/sync.h"

// The lock lives inside the structure, so initialising and deleting it
// have nothing left to do; they stay for the callers' symmetry.
void InitializeCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->lock.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->lock.unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION*) {}
