#pragma once
// The TCP side of the gateway below Modbus: listening sockets, the
// registry of client connections and their threads, and one accepted
// connection as its thread sees it.
#include <cstdint>
#include <string>

#include "platform/global_object.h"
#include "platform/socket_types.h"
#include "platform/thread.h"

class WinTCPEnv;

// Hands an accepted socket to its new thread.
struct ClientStub {
  SOCKET socket;
  WinTCPEnv* env;
};

class WinTCPEnv {
 public:
  // Results of Listen, Accept and StopListening. The cause of a failure is
  // in LastError (an errno value).
  static constexpr std::int32_t kOk = 0;
  static constexpr std::int32_t kPortTaken = -1;       // port already listens
  static constexpr std::int32_t kSocketFailed = -2;    // socket
  static constexpr std::int32_t kBindFailed = -3;      // bind, or no address
  static constexpr std::int32_t kListenFailed = -4;    // listen
  static constexpr std::int32_t kNotListening = -5;    // no socket to use
  static constexpr std::int32_t kCloseFailed = -6;     // closesocket
  static constexpr std::int32_t kAcceptFailed = -7;    // accept, or stopped
  static constexpr std::int32_t kListenLockBusy = -8;  // lock not had in time

  WinTCPEnv();
  ~WinTCPEnv();
  WinTCPEnv(const WinTCPEnv&) = delete;
  WinTCPEnv& operator=(const WinTCPEnv&) = delete;

  // Listens on `port` (its low 16 bits) at the dotted address `ip`, or at
  // every interface when `ip` is null or empty. A failure leaves no socket.
  std::int32_t Listen(std::int32_t port, const char* ip);
  // Blocks until a client connects to `port` or the port stops listening;
  // `accepted` is not written when the port has no listening socket.
  std::int32_t Accept(std::int32_t port, SOCKET& accepted);
  // Closes every listening socket and returns once a running Accept has
  // ended. After a failed close only the sockets not yet reached remain.
  std::int32_t StopListening();
  // The number of listening sockets; readable from any thread.
  std::uint32_t IsListening() const;
  // The number of registered connections; readable from any thread.
  std::uint32_t ClientCount() const;
  // Starts `routine` with a new ClientStub on its own thread, registered
  // before it runs. False, with the socket left to the caller, when no
  // thread could be made.
  bool StartClientThread(SOCKET socket, LPTHREAD_START_ROUTINE routine);
  void RemoveClient(SOCKET socket);
  // Shuts every registered connection down, which ends its thread.
  void ShutdownClients();
  // Returns once no connection is registered.
  void WaitForClients();
  // Kept until cleared; a success does not reset it.
  std::int32_t LastError() const;
  void ClearLastError();

  class Impl;

 private:
  Impl* impl_;
};

class BasicClient {
 public:
  explicit BasicClient(ClientStub* stub);  // takes and deletes the stub
  ~BasicClient();
  BasicClient(const BasicClient&) = delete;
  BasicClient& operator=(const BasicClient&) = delete;

  int Send(const void* buffer, std::int32_t length, std::int32_t flags);
  int Recv(void* buffer, std::int32_t capacity, std::int32_t flags);
  std::int32_t SendAll(const void* buffer, std::int32_t length,
                       std::int32_t flags);
  void SetSendTimeout(std::uint32_t milliseconds);
  void SetRecvTimeout(std::uint32_t milliseconds);
  // Sends each reply at once rather than holding a small one back until
  // the peer acknowledges the last: a client that sent several requests
  // ahead would otherwise wait for its delayed acknowledgement per reply.
  void SetNoDelay();
  // True once the peer has closed its side (FIN or reset), although
  // requests it sent before may still wait to be read.
  bool PeerHasClosed() const;
  // True once the peer has reset the connection: no reply can reach it.
  bool WasReset() const;
  // The peer's IPv4 address as dotted decimal text.
  const char* PeerAddress() const;

 private:
  WinTCPEnv* env_;
  SOCKET socket_;
  std::string peer_address_;
};

extern GlobalObject<WinTCPEnv> gWinTCPEnv;
