#pragma once
// Called when a thread ends: every mutex that it still owns is marked
// abandoned, so that the next waiter takes it with WAIT_ABANDONED.
// Threads made by CreateThread do this before they count as ended; other
// threads do it from a thread-exit hook.
void AbandonMutexesOfCurrentThread();
