#include "bench/read_frames.h"

#include "gateway/crc16.h"
#include "gateway/pack_be.h"

namespace {

constexpr std::uint8_t kReadHoldingRegisters = 0x03;

// The 20 data bytes of a reply: register k of `unit` is unit * 1000 + k.
bool HasDeviceRegisters(const std::uint8_t* data, std::uint8_t unit) {
  for (unsigned k = 0; k < kRegisterCount; ++k) {
    const unsigned value = (data[2 * k] << 8) | data[2 * k + 1];
    if (value != unit * 1000u + k) return false;
  }
  return true;
}

}  // namespace

void BuildTcpRead(std::uint8_t* frame, std::uint16_t transaction_id,
                  std::uint8_t unit) {
  PackBE(frame, "HHHBBHH", transaction_id, 0, 6, unit, kReadHoldingRegisters,
         0, kRegisterCount);
}

bool IsTcpReadReply(const std::uint8_t* frame, std::uint16_t transaction_id,
                    std::uint8_t unit) {
  std::uint16_t id = 0, protocol = 0, length = 0;
  std::uint8_t reply_unit = 0, function = 0, byte_count = 0;
  UnpackBE(frame, "HHHBBB", &id, &protocol, &length, &reply_unit, &function,
           &byte_count);
  return id == transaction_id && protocol == 0 &&
         length == kTcpReplySize - 6 && reply_unit == unit &&
         function == kReadHoldingRegisters &&
         byte_count == 2 * kRegisterCount && HasDeviceRegisters(frame + 9, unit);
}

void BuildRtuRead(std::uint8_t* frame, std::uint8_t unit) {
  PackBE(frame, "BBHH", unit, kReadHoldingRegisters, 0, kRegisterCount);
  const std::uint16_t crc = ModbusCrc16(frame, 6);
  frame[6] = static_cast<std::uint8_t>(crc & 0xff);  // low-order byte first
  frame[7] = static_cast<std::uint8_t>(crc >> 8);
}

bool IsRtuReadReply(const std::uint8_t* frame, std::uint8_t unit) {
  return frame[0] == unit && frame[1] == kReadHoldingRegisters &&
         frame[2] == 2 * kRegisterCount &&
         ModbusCrc16(frame, kRtuReplySize) == 0 &&
         HasDeviceRegisters(frame + 3, unit);
}
