#pragma once
// The socket calls of the gateway's TCP side, with the behaviour its design
// relies on where Linux sockets differ:
// - closesocket of a listening socket wakes a thread blocked in accept on it;
// - send never raises SIGPIPE when the peer has gone;
// - SO_SNDTIMEO and SO_RCVTIMEO take milliseconds as a 4-byte value;
// - a call that ran into its time-out fails with ETIMEDOUT;
// - a signal never interrupts a call, and accept passes over connections
//   that died while they waited in the backlog instead of failing.
// Error codes are errno values. The calls live in namespace winsock because
// send, setsockopt and the others would collide with the system's own.
// Addresses, byte order (htons) and the option names are the system's.
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/socket_types.h"
#include "platform/win_types.h"

// What the socket library reports about itself when started.
struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
};

inline constexpr int SD_BOTH = SHUT_RDWR;

namespace winsock {

// Linux sockets need no start: both only keep the callers' symmetry.
// WSAStartup fills `data` and returns 0; WSACleanup returns 0.
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();

// The error code of the calling thread's last failed socket call.
int WSAGetLastError();

using ::bind;
using ::getpeername;
using ::listen;
using ::shutdown;
// Every socket is made close-on-exec, so that a program the gateway starts
// (a browser opened from the About box) never inherits a listening socket
// and keeps its port bound after the gateway stopped.
SOCKET socket(int family, int type, int protocol);

// Blocks until a client connects or the listening socket is closed.
SOCKET accept(SOCKET listener, sockaddr* address, socklen_t* length);

// One receive: bytes received, 0 when the peer has closed, SOCKET_ERROR on
// failure or time-out.
int recv(SOCKET socket, void* buffer, int capacity, int flags);

// One send: bytes sent (fewer than asked only after a time-out), or
// SOCKET_ERROR.
int send(SOCKET socket, const void* buffer, int length, int flags);

// SO_SNDTIMEO and SO_RCVTIMEO of SOL_SOCKET take a DWORD of milliseconds,
// 0 meaning no time-out; every other option goes to the system unchanged.
int setsockopt(SOCKET socket, int level, int name, const void* value,
               int length);

// Closes the socket; 0 or SOCKET_ERROR.
int closesocket(SOCKET socket);

// True once the peer has ended its side of the connection, by its end of
// data (FIN) or a reset, even while bytes that it sent before are still
// unread here: what a caller cannot learn from recv without reading them
// all. Winsock has no such call; our own, from Linux's poll().
bool PeerHasClosed(SOCKET socket);

// True once the connection is broken: the peer reset it (or it failed),
// so nothing sent on it can arrive any more. A peer that only ended its
// sending (FIN) still reads, and does not count. Our own call too.
bool ConnectionIsBroken(SOCKET socket);

}  // namespace winsock
