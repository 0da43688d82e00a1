#include "tests/support/raw_modbus_client.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "tests/support/deadline.h"
#include "tests/support/loopback_sockets.h"

RawModbusClient::RawModbusClient(int port, int receive_buffer_bytes)
    : fd_(NewSocket(receive_buffer_bytes)) {
  if (!Connect(port)) Close();
}

RawModbusClient::RawModbusClient() : fd_(NewSocket()) {}

RawModbusClient::~RawModbusClient() { Close(); }

bool RawModbusClient::Connect(int port) {
  return fd_ >= 0 && ConnectTo(fd_, port);
}

int RawModbusClient::LocalPort() const { return BoundPort(fd_); }

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

bool RawModbusClient::SendAndClose(std::string_view bytes) {
  const int cork = 1;
  const bool sent =
      fd_ >= 0 &&
      setsockopt(fd_, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork) == 0 &&
      Send(bytes) && shutdown(fd_, SHUT_WR) == 0;
  Close();
  return sent;
}

bool RawModbusClient::CloseSending() {
  return fd_ >= 0 && shutdown(fd_, SHUT_WR) == 0;
}

void RawModbusClient::CloseWithReset() {
  if (fd_ < 0) return;
  ::CloseWithReset(fd_);
  fd_ = -1;
}

void RawModbusClient::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

int UnreadByGateway(const RawModbusClient& client) {
  const int gateway_end = FindDescriptorConnectedTo(client.LocalPort());
  int unread = -1;
  if (gateway_end >= 0) ioctl(gateway_end, FIONREAD, &unread);
  return unread;
}
