#include "gateway/rtu_reply_check.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kExceptionFlag = 0x80;
// Offsets in a frame that begins with the unit id.
constexpr std::uint32_t kFunctionOffset = 1;
constexpr std::uint32_t kDataOffset = 2;      // first field behind the code
constexpr std::uint32_t kQuantityOffset = 4;  // read quantity of 1-4 and 23

std::uint32_t ReadBE16(const std::uint8_t* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 8) | bytes[1];
}

// The byte count that a reply to a read of `quantity` items carries.
std::uint32_t ExpectedByteCount(std::uint8_t function, std::uint32_t quantity) {
  const bool reads_bits = function == 0x01 || function == 0x02;
  return reads_bits ? (quantity + 7) / 8 : quantity * 2;
}

bool ByteCountAnswers(const std::uint8_t* request, std::uint32_t request_length,
                      const std::uint8_t* reply) {
  if (request_length < kQuantityOffset + 2) return false;
  const std::uint32_t quantity = ReadBE16(request + kQuantityOffset);
  return reply[kDataOffset] == ExpectedByteCount(request[kFunctionOffset],
                                                 quantity);
}

// The reply repeats the request's first `count` data bytes.
bool EchoAnswers(const std::uint8_t* request, std::uint32_t request_length,
                 const std::uint8_t* reply, std::uint32_t count) {
  if (request_length < kDataOffset + count) return false;
  return std::equal(request + kDataOffset, request + kDataOffset + count,
                    reply + kDataOffset);
}

}  // namespace

bool ReplyAnswersRequest(const std::uint8_t* request,
                         std::uint32_t request_length,
                         const std::uint8_t* reply, std::int32_t reply_length) {
  if (request_length <= kFunctionOffset ||
      reply_length <= static_cast<std::int32_t>(kDataOffset)) {
    return false;
  }
  const std::uint8_t function = request[kFunctionOffset];
  const std::uint8_t answered = reply[kFunctionOffset];
  const bool asked_a_function = (function & kExceptionFlag) == 0;
  if (asked_a_function && answered == (function | kExceptionFlag)) return true;
  if (answered != function) return false;
  // The reply's reader has already made its length that of its function
  // code, so the fields compared here are all in.
  switch (function) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x17:
      return ByteCountAnswers(request, request_length, reply);
    case 0x05: case 0x06: case 0x0F: case 0x10:
      return EchoAnswers(request, request_length, reply, 4);
    case 0x16:
      return EchoAnswers(request, request_length, reply, 6);
    default:
      return false;  // no reader knows its length: never gets here
  }
}
