#pragma once
// The socket handle type of the gateway's TCP side: a file descriptor.
using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
