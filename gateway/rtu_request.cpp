#include "gateway/rtu_request.h"

#include <algorithm>

#include "gateway/crc16.h"

std::uint32_t BuildRtuRequest(Buffer& out, const Buffer& request,
                              std::int32_t /*received*/,
                              const MbapHeader& header) {
  const std::uint16_t length = header.length;
  std::copy_n(request.begin() + kMbapPrefixSize, length, out.begin());
  const std::uint16_t crc = ModbusCrc16(out.data(), length);
  out[length] = static_cast<std::uint8_t>(crc);
  out[length + 1] = static_cast<std::uint8_t>(crc >> 8);
  return length + 2u;
}
