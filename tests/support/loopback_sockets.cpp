#include "tests/support/loopback_sockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// The number of the system call in which thread `tid` sleeps, or -1 when
// it runs.
long SystemCallOf(const std::string& tid) {
  std::ifstream file("/proc/self/task/" + tid + "/syscall");
  long number = -1;
  if (!(file >> number)) return -1;  // "running"
  return number;
}

bool IsInAccept(pid_t tid) {
  const long number = SystemCallOf(std::to_string(tid));
#ifdef SYS_accept
  if (number == SYS_accept) return true;
#endif
  return number == SYS_accept4;
}

bool IsAnyThreadInSend() {
  DIR* folder = opendir("/proc/self/task");
  if (folder == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    const long number = SystemCallOf(entry->d_name);
    found = found || number == SYS_sendto || number == SYS_sendmsg;
  }
  closedir(folder);
  return found;
}

}  // namespace

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return -1;
  }
  return address.sin_family == AF_INET ? ntohs(address.sin_port) : -1;
}

int ListenOnLoopback(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = LoopbackAddress(port > 0 ? port : 0);
  if (fd < 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) ||
      listen(fd, 64) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  port = BoundPort(fd);
  return fd;
}

int FreeLoopbackPort() {
  int port = 0;
  const int fd = ListenOnLoopback(port);
  if (fd >= 0) close(fd);
  return port;
}

int NewSocket(int receive_buffer_bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && receive_buffer_bytes > 0) {  // before the window is agreed
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes,
               sizeof receive_buffer_bytes);
  }
  return fd;
}

bool ConnectTo(int fd, int port) {
  const sockaddr_in address = LoopbackAddress(port);
  return connect(fd, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) == 0;
}

int ConnectLoopback(int port) {
  const int fd = NewSocket();
  if (fd >= 0 && !ConnectTo(fd, port)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool LoopbackPair(int& client, int& server) {
  int port = 0;
  const int listener = ListenOnLoopback(port);
  client = listener < 0 ? -1 : ConnectLoopback(port);
  server = client < 0 ? -1 : accept(listener, nullptr, nullptr);
  if (listener >= 0) close(listener);
  if (server < 0 && client >= 0) close(client);
  if (server < 0) client = -1;
  return server >= 0;
}

void CloseWithReset(int fd) {
  const linger abort_on_close{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  close(fd);
}

// The open descriptors of this process, the listing's own one included.
std::vector<int> OpenDescriptors() {
  std::vector<int> fds;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.') fds.push_back(std::atoi(entry->d_name));
    }
    closedir(folder);
  }
  return fds;
}

int OpenDescriptorCount() {
  return static_cast<int>(OpenDescriptors().size()) - 1;
}

int FindListeningDescriptor(int port) {
  for (const int fd : OpenDescriptors()) {
    int listening = 0;
    socklen_t length = sizeof listening;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 &&
        listening != 0 && BoundPort(fd) == port) {
      return fd;
    }
  }
  return -1;
}

int FindDescriptorConnectedTo(int peer_port) {
  for (const int fd : OpenDescriptors()) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == peer_port) {
      return fd;
    }
  }
  return -1;
}

pid_t CurrentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

bool WaitUntilBlockedInAccept(pid_t tid) {
  return WaitUntil([tid] { return IsInAccept(tid); });
}

bool WaitUntilAThreadIsBlockedInSend() {
  // A send also sleeps for a moment while the peer's kernel acknowledges;
  // one still asleep a tenth of a second later waits for the peer to read.
  return WaitUntil([] {
    if (!IsAnyThreadInSend()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return IsAnyThreadInSend();
  });
}
