#pragma once
// How the configuration loader reads each kind of value of
// "Quorvelin.ini". The options dialog reads and checks values with the
// same functions, so that what it shows, and what it lets OK write, is
// what the gateway will use.
//
// Each reader takes a value as the INI reader stored it (trimmed) and
// returns false for a value the loader refuses; the output is then not to
// be used. A missing key reads as an empty value, which every reader
// refuses.
#include <cstdint>
#include <string>
#include <string_view>

// The longest serial time-out, in ms, that the options dialog lets an
// operator set; a file written by hand may hold more, or no limit.
inline constexpr std::uint32_t kLongestDialogPortTimeoutMs = 60000;

// A signed number, read as far as it goes, from 0 to 65535.
bool ReadTcpPort(std::string_view value, std::int32_t& port);

// An unsigned 32-bit number, read as far as it goes: time-outs, the baud
// rate, the RTS delay, the connection limit.
bool ReadUnsigned(std::string_view value, std::uint32_t& number);

// An unsigned 16-bit number, of which the low 8 bits are the byte size.
bool ReadByteSize(std::string_view value, std::uint8_t& byte_size);

// "none", "odd" or "even" in any letter case: 0, 1 or 2.
bool ReadParity(std::string_view value, std::uint8_t& parity);

// "1", "1.5" or "2" exactly: 0, 1 or 2.
bool ReadStopBits(std::string_view value, std::uint8_t& stop_bits);

// The first word of the value: the listening address.
bool ReadAddress(std::string_view value, std::string& address);

// A start-up switch: on for "true" in any letter case, off for anything
// else.
bool ReadSwitch(std::string_view value);
