#include "tests/support/raw_modbus_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "tests/support/deadline.h"

RawModbusClient::RawModbusClient(int port, int receive_buffer_bytes) {
  // Not inherited by peer programs that a test starts meanwhile: a copy in
  // a child would keep the connection open after Close.
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0 && receive_buffer_bytes > 0) {  // before the window is agreed
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes,
               sizeof receive_buffer_bytes);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<const sockaddr*>(&address),
                          sizeof address) != 0) {
    Close();
  }
}

RawModbusClient::~RawModbusClient() { Close(); }

int RawModbusClient::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return -1;
  }
  return ntohs(address.sin_port);
}

bool RawModbusClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool RawModbusClient::ReadExactly(std::size_t count, std::string& into,
                                  int timeout_ms) {
  const Deadline deadline(timeout_ms);
  char chunk[512];
  while (count > 0) {
    pollfd readable{fd_, POLLIN, 0};
    if (poll(&readable, 1, deadline.Left()) <= 0) return false;
    const std::size_t wanted = count < sizeof chunk ? count : sizeof chunk;
    const ssize_t got = recv(fd_, chunk, wanted, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into.append(chunk, static_cast<std::size_t>(got));
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

std::string RawModbusClient::ReadFrame(int timeout_ms) {
  std::string frame;
  if (fd_ < 0 || !ReadExactly(6, frame, timeout_ms)) return {};
  const std::size_t length = (static_cast<std::uint8_t>(frame[4]) << 8) |
                             static_cast<std::uint8_t>(frame[5]);
  if (!ReadExactly(length, frame, timeout_ms)) return {};
  return frame;
}

std::string RawModbusClient::Ask(std::string_view request) {
  if (!Send(request)) return {};
  return ReadFrame();
}

bool RawModbusClient::WaitForEnd(int timeout_ms) {
  pollfd readable{fd_, POLLIN, 0};
  if (fd_ < 0 || poll(&readable, 1, timeout_ms) <= 0) return false;
  char byte;
  const ssize_t got = recv(fd_, &byte, 1, 0);
  return got == 0 || (got < 0 && errno == ECONNRESET);
}

void RawModbusClient::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}
