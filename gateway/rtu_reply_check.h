#pragma once
// Whether a device's reply answers the request that was written to the
// line. A device that answers late, or answers something else, would
// otherwise have its reply relayed as the answer to whatever was asked
// last: the CRC and the address alone cannot tell.
#include <cstdint>

// `request` is the RTU request without its CRC (unit id, function code,
// data), `reply` the reply as ReadRtuResponse left it, `reply_length` its
// length without the CRC. An exception reply answers when it carries the
// request's function code. A normal reply must carry the request's function
// code and, by that code:
// - 1 to 4 and 23: the byte count of the quantity asked for;
// - 5, 6, 15, 16 and 22: the echo of the request's address and value (or
//   quantity, or masks).
// A request too short to hold what the reply is compared with is answered
// only by an exception.
bool ReplyAnswersRequest(const std::uint8_t* request,
                         std::uint32_t request_length,
                         const std::uint8_t* reply, std::int32_t reply_length);
