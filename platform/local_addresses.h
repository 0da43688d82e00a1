#pragma once
// The IPv4 addresses of this machine's network interfaces.
#include <string>
#include <vector>

// Dotted-decimal texts in the order the system lists its interfaces,
// loopback included; empty when the system cannot list them.
std::vector<std::string> LocalIPv4Addresses();
