#pragma once
// IPv4 addresses as the configuration writes them and the log shows them.
#include <netinet/in.h>

#include <string>

// Reads the configured address text: four decimal numbers from 0 to 255,
// each with optional leading blanks and plus sign, separated by single
// points; the first number is the first address byte. Text after the
// fourth number is ignored. False, leaving `address` alone, when the text
// does not begin with four such numbers.
bool ParseIpv4Text(const char* text, in_addr& address);

// The four address bytes in network order as dotted decimal, "10.0.0.5".
std::string Ipv4Text(const in_addr& address);
