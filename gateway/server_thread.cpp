#include <cerrno>

#include "common/log_text.h"
#include "common/setting.h"
#include "gateway/gateway_threads.h"
#include "gateway/log_line.h"
#include "gateway/peer_address.h"
#include "gateway/tcp_env.h"
#include "platform/wait.h"
#include "platform/winsock.h"

namespace {

// Long enough not to spin while a shortage lasts, short enough not to hold
// a stop up noticeably.
constexpr DWORD kPauseWhenShort = 100;

// A connection that finds MaxConnections clients connected is closed.
void Refuse(SOCKET socket, LogLine& log) {
  winsock::closesocket(socket);
  log.Log("warning: client connections arrives at maximum");
}

// Starts the connection's gateway thread. When the system cannot make the
// thread (out of memory or threads), the connection is closed and the
// server goes on accepting: the next connection may well be served.
void Serve(WinTCPEnv& env, SOCKET socket, LogLine& log) {
  log.Log("client from " + PeerAddressText(socket));
  if (env.StartClientThread(socket, ClientThreadProc)) return;
  AnsiString reason;
  SysErrorText(reason, env.LastError());
  log.Log(reason);
  winsock::closesocket(socket);
}

// After a failed accept: true when it failed for want of descriptors or
// memory, once a pause is over. The listening socket is still open then
// and the connection waits in its queue; ending the server there would
// leave a gateway that listens and serves nobody. The first failure of a
// shortage is logged, the repeats are not.
bool WaitOutShortage(WinTCPEnv& env, LogLine& log, bool& logged) {
  const std::int32_t error = env.LastError();
  if (error != EMFILE && error != ENFILE && error != ENOBUFS &&
      error != ENOMEM) {
    return false;
  }
  if (!logged) {
    AnsiString reason;
    SysErrorText(reason, error);
    log.Log(reason);
    logged = true;
  }
  Sleep(kPauseWhenShort);
  return true;
}

}  // namespace

DWORD ServerThreadProc(LPVOID parameter) {
  WinTCPEnv& env = *static_cast<WinTCPEnv*>(parameter);
  const std::int32_t port = gSetting->GetTCP()->TCPPort;
  const std::uint32_t max_connections = gSetting->GetMaxConnections();
  LogLine log;
  log.LogKept("start server successful");
  SOCKET socket = INVALID_SOCKET;
  bool shortage_logged = false;
  for (;;) {
    const std::int32_t accepted = env.Accept(port, socket);
    if (accepted == WinTCPEnv::kOk) {
      shortage_logged = false;
      if (env.ClientCount() < max_connections) {
        Serve(env, socket, log);
      } else {
        Refuse(socket, log);
      }
    } else if (accepted != WinTCPEnv::kAcceptFailed ||
               !WaitOutShortage(env, log, shortage_logged)) {
      break;  // the listening socket is closed: the gateway stops
    }
  }
  env.ShutdownClients();
  env.WaitForClients();
  log.Log("stop server successful");
  return 0;
}
