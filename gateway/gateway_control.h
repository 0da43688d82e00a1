#pragma once
// Starting and stopping the whole gateway engine, without any window.
// The main window and the tests both go through these two functions.
// Both push their own log lines into the log queue.
#include "platform/handle.h"

// The server thread while the gateway runs; INVALID_HANDLE_VALUE otherwise.
extern HANDLE gServerThread;

// Opens the configured ports, listens on the configured address and port
// and starts the server thread. Needs a loaded configuration (false at
// once, without a line, otherwise). On a failure the ports are closed and
// the configuration is unloaded. A gateway still running (its stop failed)
// is stopped first, keeping the loaded configuration for this start.
bool StartGateway();

// Stops listening, waits for the server thread (which ends every client
// thread), closes the ports and unloads the configuration. False, with an
// "Error: " line, when a listening socket could not be closed and still
// listens; the gateway then keeps running, and the next StartGateway or
// StopGateway tries to stop it again before anything else.
bool StopGateway();

// True while a started gateway has not been stopped.
bool IsGatewayRunning();
