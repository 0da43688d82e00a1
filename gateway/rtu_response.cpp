#include "gateway/rtu_response.h"

#include "gateway/crc16.h"
#include "gateway/rtu_func_table.h"
#include "gateway/serial_io.h"

namespace {

constexpr std::int32_t kRtuHeaderSize = 2;      // address, function byte
constexpr std::int32_t kByteCountOffset = 2;    // third byte of a reply
constexpr std::int32_t kByteCountOverhead = 5;  // address, function,
                                                // byte count, CRC

// Reads at offset `count` until at least `total` bytes are in; returns the
// new count or the code of the read that failed.
std::int32_t ReadUntil(SerialIO& port, Buffer& reply, std::int32_t count,
                       std::int32_t total) {
  while (count < total) {
    const auto room = static_cast<DWORD>(reply.size() - count);
    const std::int32_t got = port.Read(reply.data() + count, room);
    if (got < 0) return kRtuReadFailed;
    if (got == 0) return kRtuTimedOut;
    count += got;
  }
  return count;
}

}  // namespace

std::int32_t ReadRtuResponse(SerialIO& port, Buffer& reply,
                             std::uint8_t address) {
  const std::int32_t count = ReadRtuHeader(port, reply, address);
  if (count < 0) return count;
  const RtuFrameReader reader = RTU_FuncTbl[reply[1]];
  if (reader == nullptr) return kRtuNoReader;
  return reader(port, reply, count);
}

std::int32_t ReadRtuHeader(SerialIO& port, Buffer& reply,
                           std::uint8_t address) {
  const std::int32_t count = ReadUntil(port, reply, 0, kRtuHeaderSize);
  if (count < 0) return count;
  if (reply[0] != address) return kRtuWrongAddress;
  return count;
}

std::int32_t ReadRtuByteCountFrame(SerialIO& port, Buffer& reply,
                                   std::int32_t count) {
  count = ReadUntil(port, reply, count, kByteCountOffset + 1);
  if (count < 0) return count;
  const std::int32_t total = reply[kByteCountOffset] + kByteCountOverhead;
  count = ReadUntil(port, reply, count, total);
  if (count < 0) return count;
  return CheckRtuCrc(reply.data(), count);
}

std::int32_t ReadRtuFrameOfLength(SerialIO& port, Buffer& reply,
                                  std::int32_t count, std::int32_t length) {
  count = ReadUntil(port, reply, count, length);
  if (count < 0) return count;
  return CheckRtuCrc(reply.data(), count);
}

std::int32_t CheckRtuCrc(const std::uint8_t* frame, std::int32_t count) {
  if (ModbusCrc16(frame, static_cast<std::uint16_t>(count)) != 0) {
    return kRtuBadCrc;
  }
  return count - 2;
}
