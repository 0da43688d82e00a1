#pragma once
// Real sockets on 127.0.0.1 and a look at this test process's own state,
// for the tests of the TCP side.
#include <sys/types.h>

#include "tests/support/deadline.h"

// A TCP port on 127.0.0.1 that was free a moment ago (bound with port 0,
// then released).
int FreeLoopbackPort();

// A blocking TCP socket, not inherited by programs that a test starts (a
// copy in a child would keep a connection open after its close), or -1.
// A receive buffer size above 0 replaces the system's growing one, for a
// client that stops reading.
int NewSocket(int receive_buffer_bytes = 0);
// Connects `fd` to 127.0.0.1:port.
bool ConnectTo(int fd, int port);
// A new socket connected to 127.0.0.1:port, or -1.
int ConnectLoopback(int port);
// The TCP port that `fd` is bound to, or -1.
int BoundPort(int fd);

// A socket listening on 127.0.0.1 at `port`, or at a port the system
// picks when `port` is 0 (that port then goes to `port`); -1 on failure.
int ListenOnLoopback(int& port);

// A connection on 127.0.0.1: `client` connected, `server` its accepted
// end. False (and both -1) when it cannot be made.
bool LoopbackPair(int& client, int& server);

// Makes the next close of `fd` reset the connection (the peer sees
// ECONNRESET) instead of ending it cleanly.
void CloseWithReset(int fd);

// The number of open file descriptors of this process.
int OpenDescriptorCount();

// The descriptor of this process's socket that listens on TCP `port`,
// or -1.
int FindListeningDescriptor(int port);

// The descriptor of this process's socket whose peer is 127.0.0.1:peer_port
// (the server's end of a test's connection), or -1.
int FindDescriptorConnectedTo(int peer_port);

// The calling thread's id, as WaitUntilBlockedInAccept takes it.
pid_t CurrentThreadId();

// Waits until thread `tid` of this process is inside an accept call.
bool WaitUntilBlockedInAccept(pid_t tid);

// Waits until some thread of this process is inside a send call: one whose
// peer does not read blocks there once the buffers between them are full.
bool WaitUntilAThreadIsBlockedInSend();
