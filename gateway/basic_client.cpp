// One accepted connection as its client thread uses it.
#include <netinet/tcp.h>

#include "gateway/peer_address.h"
#include "gateway/tcp_env.h"
#include "platform/winsock.h"

BasicClient::BasicClient(ClientStub* stub)
    : env_(stub->env), socket_(stub->socket) {
  peer_address_ = PeerAddressText(socket_).str();  // 0.0.0.0 if unreadable
  delete stub;
}

// Unregistered before it is closed: once closed, the socket number may
// come back for the next connection, whose entry must not meet this one.
BasicClient::~BasicClient() {
  env_->RemoveClient(socket_);
  winsock::closesocket(socket_);
}

int BasicClient::Send(const void* buffer, std::int32_t length,
                      std::int32_t flags) {
  return winsock::send(socket_, buffer, length, flags);
}

int BasicClient::Recv(void* buffer, std::int32_t capacity, std::int32_t flags) {
  return winsock::recv(socket_, buffer, capacity, flags);
}

// The count sent before a failure is not reported: the caller only needs
// to know that the whole buffer did not go.
std::int32_t BasicClient::SendAll(const void* buffer, std::int32_t length,
                                  std::int32_t flags) {
  const auto* bytes = static_cast<const char*>(buffer);
  std::int32_t sent = 0;
  do {
    const int result = Send(bytes + sent, length - sent, flags);
    if (result < 1) return result;
    sent += result;
  } while (sent < length);
  return length;
}

void BasicClient::SetSendTimeout(std::uint32_t milliseconds) {
  const DWORD value = milliseconds;
  winsock::setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

void BasicClient::SetRecvTimeout(std::uint32_t milliseconds) {
  const DWORD value = milliseconds;
  winsock::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

void BasicClient::SetNoDelay() {
  const int on = 1;
  winsock::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool BasicClient::PeerHasClosed() const {
  return winsock::PeerHasClosed(socket_);
}

bool BasicClient::WasReset() const {
  return winsock::ConnectionIsBroken(socket_);
}

const char* BasicClient::PeerAddress() const { return peer_address_.c_str(); }
