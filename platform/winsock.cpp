#include "platform/winsock.h"

#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Errors that Linux accept reports for a connection that failed while it
// waited in the backlog. The listening socket itself is fine, so the call
// is repeated, as it would not have failed elsewhere.
bool IsDeadPendingConnection(int error) {
  switch (error) {
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

// Our sockets block, so EAGAIN can only mean that the call's time-out
// expired; callers see the code that says so.
int TimedOutOrFailed() {
  if (errno == EAGAIN || errno == EWOULDBLOCK) errno = ETIMEDOUT;
  return SOCKET_ERROR;
}

bool IsListeningSocket(SOCKET socket) {
  int listening = 0;
  socklen_t length = sizeof listening;
  return ::getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) ==
             0 &&
         listening != 0;
}

}  // namespace

namespace winsock {

int WSAStartup(WORD version, WSADATA* data) {
  if (data != nullptr) {
    data->wVersion = version;
    data->wHighVersion = version;
  }
  return 0;
}

int WSACleanup() { return 0; }

int WSAGetLastError() { return errno; }

SOCKET socket(int family, int type, int protocol) {
  return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

SOCKET accept(SOCKET listener, sockaddr* address, socklen_t* length) {
  for (;;) {
    const SOCKET accepted = ::accept4(listener, address, length, SOCK_CLOEXEC);
    if (accepted != INVALID_SOCKET) return accepted;
    if (errno != EINTR && !IsDeadPendingConnection(errno)) {
      return INVALID_SOCKET;
    }
  }
}

int recv(SOCKET socket, void* buffer, int capacity, int flags) {
  if (capacity < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  for (;;) {
    const ssize_t received = ::recv(socket, buffer, capacity, flags);
    if (received >= 0) return static_cast<int>(received);
    if (errno != EINTR) return TimedOutOrFailed();
  }
}

int send(SOCKET socket, const void* buffer, int length, int flags) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  for (;;) {
    const ssize_t sent = ::send(socket, buffer, length, flags | MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno != EINTR) return TimedOutOrFailed();
  }
}

int setsockopt(SOCKET socket, int level, int name, const void* value,
               int length) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  const bool is_timeout =
      level == SOL_SOCKET && (name == SO_SNDTIMEO || name == SO_RCVTIMEO);
  if (!is_timeout) {
    return ::setsockopt(socket, level, name, value,
                        static_cast<socklen_t>(length));
  }
  if (value == nullptr || length < static_cast<int>(sizeof(DWORD))) {
    errno = EFAULT;
    return SOCKET_ERROR;
  }
  DWORD milliseconds = 0;
  std::memcpy(&milliseconds, value, sizeof milliseconds);
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
  return ::setsockopt(socket, level, name, &limit, sizeof limit);
}

bool PeerHasClosed(SOCKET socket) {
  pollfd entry{socket, POLLRDHUP, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 &&
         (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool ConnectionIsBroken(SOCKET socket) {
  // poll() reports POLLERR for a pending error such as a reset, and POLLHUP
  // once the connection is closed in both directions, which on a socket
  // that has not ended its own sending means the peer reset it.
  pollfd entry{socket, 0, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int closesocket(SOCKET socket) {
  // Closing a descriptor does not wake a thread blocked in accept on it;
  // shutting the listening socket down does (accept fails with EINVAL).
  if (IsListeningSocket(socket)) ::shutdown(socket, SHUT_RDWR);
  return ::close(socket) == 0 ? 0 : SOCKET_ERROR;
}

}  // namespace winsock
