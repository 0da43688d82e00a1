#pragma once
// The peer address of a connected socket, for the log lines.
#include "platform/ansi_string.h"
#include "platform/socket_types.h"

// Dotted decimal, "192.168.0.10"; "0.0.0.0" when it cannot be read.
AnsiString PeerAddressText(SOCKET socket);
