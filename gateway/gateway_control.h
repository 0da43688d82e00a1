#pragma once
// Starting and stopping the whole gateway engine, without any window.
// The main window and the tests both go through these two functions.
// Both push their own log lines into the log queue.

// Opens the configured ports, listens on the configured address and port
// and starts the server thread. Needs a loaded configuration (false at
// once, without a line, otherwise). On a failure the ports are closed and
// the configuration is unloaded.
bool StartGateway();

// Stops listening, waits for the server thread (which ends every client
// thread), closes the ports and unloads the configuration. False, with an
// "Error: " line, when the listening socket could not be closed; the
// gateway then keeps running.
bool StopGateway();

// True while a started gateway has not been stopped.
bool IsGatewayRunning();
