#pragma once
// The integer types and constants that the gateway's Windows-shaped
// interfaces speak in. Only what the callers use is here.
#include <cstdint>

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;  // 0 is false; the layer returns 1 for true
using LONG = std::int32_t;
using LPVOID = void*;

// Security attributes are never used: every caller passes a null pointer.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
