// The environment's life, its last error and its listening side: the map
// of listening sockets under the listen lock, accept, and the stop.
#include "gateway/tcp_env.h"

#include <cerrno>
#include <iterator>

#include "gateway/ipv4_text.h"
#include "gateway/tcp_env_impl.h"
#include "platform/wait.h"

GlobalObject<WinTCPEnv> gWinTCPEnv;

namespace {

constexpr WORD kWinsockVersion = 0x0002;
constexpr DWORD kClientStackSize = 0x80000;
constexpr int kBacklog = 5;
// The lock is held only for map operations, so a wait this long means a
// stuck holder; an operation that has changed nothing yet gives up.
constexpr DWORD kListenLockWait = 3000;

// Holds the listen lock for one map operation. A mutex left behind by a
// thread that ended counts as taken: every map change is complete before
// the lock is released, so the map itself is whole.
class ListenLockHolder {
 public:
  ListenLockHolder(HANDLE lock, DWORD milliseconds) : lock_(lock) {
    const DWORD result = WaitForSingleObject(lock_, milliseconds);
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (!held_) error_ = result == WAIT_TIMEOUT ? ETIMEDOUT : GetLastError();
  }
  ~ListenLockHolder() {
    if (held_) ReleaseMutex(lock_);
  }
  ListenLockHolder(const ListenLockHolder&) = delete;
  ListenLockHolder& operator=(const ListenLockHolder&) = delete;

  bool held() const { return held_; }
  std::int32_t error() const { return static_cast<std::int32_t>(error_); }

 private:
  HANDLE lock_;
  bool held_ = false;
  DWORD error_ = 0;
};

}  // namespace

WinTCPEnv::Impl::Impl() {
  const int started = winsock::WSAStartup(kWinsockVersion, &wsa_data);
  if (started != 0) last_error = started;
  no_clients_event = CreateEventA(nullptr, 1, 0, nullptr);
  accept_idle_event = CreateEventA(nullptr, 1, 1, nullptr);
  InitializeCriticalSection(&client_lock);
  listen_lock = CreateMutexA(nullptr, 0, nullptr);
}

// By now the gateway has stopped: no accept runs and no client is served.
WinTCPEnv::Impl::~Impl() {
  CloseHandle(no_clients_event);
  DeleteCriticalSection(&client_lock);
  CloseHandle(listen_lock);
  CloseHandle(accept_idle_event);
  for (const auto& [port, socket] : listening) {
    if (socket != INVALID_SOCKET) winsock::closesocket(socket);
  }
  winsock::WSACleanup();
  listening.clear();
  for (const auto& [socket, thread] : clients) CloseHandle(thread);
  clients.clear();
}

WinTCPEnv::WinTCPEnv() : impl_(new Impl) {
  impl_->client_stack_size = kClientStackSize;
}

WinTCPEnv::~WinTCPEnv() { delete impl_; }

std::int32_t WinTCPEnv::LastError() const { return impl_->last_error; }

void WinTCPEnv::ClearLastError() { impl_->last_error = 0; }

std::uint32_t WinTCPEnv::IsListening() const {
  return impl_->listening_count;
}

std::int32_t WinTCPEnv::Listen(std::int32_t port, const char* ip) {
  {
    ListenLockHolder lock(impl_->listen_lock, kListenLockWait);
    if (!lock.held()) {
      impl_->last_error = lock.error();
      return kListenLockBusy;
    }
    const auto entry = impl_->listening.find(port);
    if (entry != impl_->listening.end() && entry->second != INVALID_SOCKET) {
      return kPortTaken;
    }
  }

  const SOCKET server = winsock::socket(AF_INET, SOCK_STREAM, 0);
  if (server == INVALID_SOCKET) {
    impl_->last_error = winsock::WSAGetLastError();
    return kSocketFailed;
  }
  const int reuse = 1;
  winsock::setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

  {
    ListenLockHolder lock(impl_->listen_lock, kListenLockWait);
    if (!lock.held()) {
      impl_->last_error = lock.error();
      winsock::closesocket(server);
      return kListenLockBusy;
    }
    impl_->listening[port] = server;
    impl_->listening_count = static_cast<std::uint32_t>(impl_->listening.size());
  }

  // A failed start leaves no half-made server socket behind: the map holds
  // only listening sockets once Listen has returned.
  const auto drop_socket = [&] {
    winsock::closesocket(server);
    ListenLockHolder lock(impl_->listen_lock, INFINITE);
    impl_->listening.erase(port);
    impl_->listening_count = static_cast<std::uint32_t>(impl_->listening.size());
  };

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
  // A text that is not four numbers names no address: refused like an
  // address that is not ours, rather than bound to a half-zero one.
  if (ip != nullptr && ip[0] != '\0' && !ParseIpv4Text(ip, address.sin_addr)) {
    impl_->last_error = EINVAL;
    drop_socket();
    return kBindFailed;
  }

  if (winsock::bind(server, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address) != 0) {
    impl_->last_error = winsock::WSAGetLastError();
    drop_socket();
    return kBindFailed;
  }
  if (winsock::listen(server, kBacklog) != 0) {
    impl_->last_error = winsock::WSAGetLastError();
    drop_socket();
    return kListenFailed;
  }
  return kOk;
}

std::int32_t WinTCPEnv::Accept(std::int32_t port, SOCKET& accepted) {
  SOCKET server = INVALID_SOCKET;
  {
    ListenLockHolder lock(impl_->listen_lock, kListenLockWait);
    if (!lock.held()) {
      impl_->last_error = lock.error();
      return kListenLockBusy;
    }
    const auto entry = impl_->listening.find(port);
    if (entry != impl_->listening.end()) server = entry->second;
    if (server == INVALID_SOCKET) return kNotListening;
    // Still under the lock: a StopListening that closes the socket after
    // this point waits for this accept, and one that closed it before has
    // marked the entry, so accept never meets a closed or reused number.
    ResetEvent(impl_->accept_idle_event);
  }

  // Outside the lock, so that StopListening can close the socket under it.
  accepted = winsock::accept(server, nullptr, nullptr);
  if (accepted == INVALID_SOCKET) {
    impl_->last_error = winsock::WSAGetLastError();
  }
  SetEvent(impl_->accept_idle_event);
  return accepted == INVALID_SOCKET ? kAcceptFailed : kOk;
}

std::int32_t WinTCPEnv::StopListening() {
  if (impl_->listening_count == 0) return kNotListening;
  {
    ListenLockHolder lock(impl_->listen_lock, kListenLockWait);
    if (!lock.held()) {
      impl_->last_error = lock.error();
      return kListenLockBusy;
    }
    auto& listening = impl_->listening;
    for (auto entry = listening.begin(); entry != listening.end(); ++entry) {
      if (entry->second == INVALID_SOCKET) continue;
      if (winsock::closesocket(entry->second) != 0) {
        impl_->last_error = winsock::WSAGetLastError();
        // The sockets closed so far must not be closed again by a later
        // call, when their numbers may belong to someone else. Nor the one
        // that failed: Linux frees a descriptor even when close fails.
        listening.erase(listening.begin(), std::next(entry));
        impl_->listening_count = static_cast<std::uint32_t>(listening.size());
        return kCloseFailed;
      }
      entry->second = INVALID_SOCKET;  // closed: no later Accept may use it
    }
  }

  // An accept that the close woke drops out first; only then may the map
  // let go of the socket numbers.
  WaitForSingleObject(impl_->accept_idle_event, INFINITE);

  // The sockets are closed: their entries go whatever the wait takes.
  ListenLockHolder lock(impl_->listen_lock, INFINITE);
  impl_->listening.clear();
  impl_->listening_count = 0;
  return kOk;
}
