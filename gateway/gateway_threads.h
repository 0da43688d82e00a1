#pragma once
// The two kinds of thread that make the gateway run: one server thread
// that accepts Modbus TCP clients, and one gateway thread per client
// connection that carries its requests to the RTU devices and back.
#include "platform/win_types.h"

// Accepts connections on the configured TCP port while the listening
// socket is open, up to MaxConnections at once, starting a gateway thread
// for each. When listening stops it shuts every connection down and waits
// for their threads. `env` is the WinTCPEnv that listens.
DWORD ServerThreadProc(LPVOID env);

// Serves one connection; `stub` is the ClientStub that the TCP
// environment made for it, owned from here on.
DWORD ClientThreadProc(LPVOID stub);
