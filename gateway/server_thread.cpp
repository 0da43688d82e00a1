#include "common/log_text.h"
#include "common/setting.h"
#include "gateway/gateway_threads.h"
#include "gateway/log_line.h"
#include "gateway/peer_address.h"
#include "gateway/tcp_env.h"
#include "platform/winsock.h"

namespace {

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

}  // namespace

DWORD ServerThreadProc(LPVOID parameter) {
  WinTCPEnv& env = *static_cast<WinTCPEnv*>(parameter);
  const std::int32_t port = gSetting->GetTCP()->TCPPort;
  const std::uint32_t max_connections = gSetting->GetMaxConnections();
  LogLine log;
  log.Log("start server successful");
  SOCKET socket = INVALID_SOCKET;
  // Accept fails once the listening socket is closed: that ends the loop.
  while (env.Accept(port, socket) == 0) {
    if (env.ClientCount() < max_connections) {
      Serve(env, socket, log);
    } else {
      Refuse(socket, log);
    }
  }
  env.ShutdownClients();
  env.WaitForClients();
  log.Log("stop server successful");
  return 0;
}
