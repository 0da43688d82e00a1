#pragma once
// The state behind WinTCPEnv, shared by the files that implement its
// listening side and its client registry.
#include <atomic>
#include <cstdint>
#include <map>

#include "gateway/tcp_env.h"
#include "platform/sync.h"
#include "platform/winsock.h"

class WinTCPEnv::Impl {
 public:
  Impl();
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void AddClient(SOCKET socket, HANDLE thread);

  WSADATA wsa_data{};
  // Written by the main thread and the server thread, read by anyone.
  std::atomic<std::int32_t> last_error{0};
  HANDLE no_clients_event = nullptr;   // manual reset, set while empty
  HANDLE accept_idle_event = nullptr;  // manual reset, reset inside accept
  HANDLE listen_lock = nullptr;        // guards `listening`
  CRITICAL_SECTION client_lock;        // guards `clients`
  std::map<std::int32_t, SOCKET> listening;  // TCP port to its socket
  std::map<SOCKET, HANDLE> clients;          // socket to its thread
  DWORD client_stack_size = 0;
  // Copies of the maps' sizes that any thread may read without a lock;
  // written only under the lock of their map.
  std::atomic<std::uint32_t> listening_count{0};
  std::atomic<std::uint32_t> client_count{0};
};
