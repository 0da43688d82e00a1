// The registry of served connections: one thread handle per client
// socket, the count that the status bar reads, and the no-clients event
// that the stop waits on.
#include "gateway/tcp_env.h"
#include "gateway/tcp_env_impl.h"
#include "platform/wait.h"

namespace {

class ClientLockHolder {
 public:
  explicit ClientLockHolder(CRITICAL_SECTION& section) : section_(section) {
    EnterCriticalSection(&section_);
  }
  ~ClientLockHolder() { LeaveCriticalSection(&section_); }
  ClientLockHolder(const ClientLockHolder&) = delete;
  ClientLockHolder& operator=(const ClientLockHolder&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

}  // namespace

std::uint32_t WinTCPEnv::ClientCount() const { return impl_->client_count; }

bool WinTCPEnv::StartClientThread(SOCKET socket,
                                  LPTHREAD_START_ROUTINE routine) {
  auto* stub = new ClientStub{socket, this};
  // Suspended until registered: a thread that ended at once would
  // otherwise unregister itself before its entry exists.
  HANDLE thread = CreateThread(nullptr, impl_->client_stack_size, routine,
                               stub, CREATE_SUSPENDED, nullptr);
  if (thread == nullptr) {
    impl_->last_error = static_cast<std::int32_t>(GetLastError());
    delete stub;
    return false;
  }
  impl_->AddClient(socket, thread);
  ResumeThread(thread);
  return true;
}

void WinTCPEnv::Impl::AddClient(SOCKET socket, HANDLE thread) {
  ClientLockHolder lock(client_lock);
  if (clients.empty()) ResetEvent(no_clients_event);
  clients[socket] = thread;
  client_count = static_cast<std::uint32_t>(clients.size());
}

void WinTCPEnv::RemoveClient(SOCKET socket) {
  ClientLockHolder lock(impl_->client_lock);
  const auto entry = impl_->clients.find(socket);
  if (entry != impl_->clients.end()) {
    CloseHandle(entry->second);  // the thread runs on to its end
    impl_->clients.erase(entry);
    impl_->client_count = static_cast<std::uint32_t>(impl_->clients.size());
  }
  if (impl_->clients.empty()) SetEvent(impl_->no_clients_event);
}

// Each client thread then sees its receive end, ends and unregisters.
void WinTCPEnv::ShutdownClients() {
  ClientLockHolder lock(impl_->client_lock);
  for (const auto& [socket, thread] : impl_->clients) {
    winsock::shutdown(socket, SD_BOTH);
  }
}

// Only the server thread adds clients and it is the one waiting here, so
// a count of 0 cannot turn stale before the wait.
void WinTCPEnv::WaitForClients() {
  if (ClientCount() != 0) {
    WaitForSingleObject(impl_->no_clients_event, INFINITE);
  }
  // The last client thread signals the event while it still holds the
  // client lock. Taking the lock once waits until it has let go: after
  // that no client thread touches the environment, which may then be
  // destroyed as soon as the stop is complete.
  ClientLockHolder lock(impl_->client_lock);
}
