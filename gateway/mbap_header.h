#pragma once
// The header of a Modbus TCP request as the gateway keeps it. On the wire
// it is the first 7 bytes of the request, every field big-endian.
#include <cstdint>

struct MbapHeader {
  std::uint16_t transaction_id = 0;
  std::uint16_t protocol_id = 0;
  // Bytes that follow the length field, the unit id included.
  std::uint16_t length = 0;
  std::uint8_t unit_id = 0;
};

// Bytes in front of the unit id: transaction id, protocol id and length.
// A whole request is length + kMbapPrefixSize bytes.
inline constexpr std::int32_t kMbapPrefixSize = 6;
// The prefix and the unit id: what must be in before a request can be judged.
inline constexpr std::int32_t kMbapHeaderSize = 7;
// Smallest length a request can have: the unit id and a function code.
// Anything shorter would put a frame on the line that no device can read.
inline constexpr std::uint16_t kMinMbapLength = 2;
// Largest whole request that a gateway accepts.
inline constexpr std::int32_t kMaxTcpRequestSize = 260;
