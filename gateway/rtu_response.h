#pragma once
// Reading a device's Modbus RTU reply from its serial port. The reply's
// function byte chooses, through RTU_FuncTbl, the rule of its length; the
// address and the CRC are checked. Every read asks for all the room left
// in the buffer, and nothing is read once the rule's length is in: bytes
// that arrived behind the reply in the same read take part in the CRC.
// A failure leaves the bytes read so far in the buffer; nothing is retried.
#include <cstdint>

#include "gateway/buffer.h"

class SerialIO;

// Failures; they are also the keys of the "ModbusRTU" error texts. They
// are found in the order of reading: the first two bytes (read failed,
// timed out), the address, the function byte, the rest of the frame (read
// failed, timed out), the CRC.
inline constexpr std::int32_t kRtuNoReader = -1;      // unknown function byte
inline constexpr std::int32_t kRtuWrongAddress = -2;  // not the unit asked
inline constexpr std::int32_t kRtuReadFailed = -3;    // the port's read failed
inline constexpr std::int32_t kRtuBadCrc = -4;        // CRC not 0 over it all
inline constexpr std::int32_t kRtuTimedOut = -5;      // no byte in time-out
// Not found by the reader: a whole, sound reply that does not answer the
// request written (ReplyAnswersRequest), such as a late one.
inline constexpr std::int32_t kRtuNotAnAnswer = -6;

// Reads one reply into `reply` that must come from `address`; returns its
// length without the CRC, or one of the codes above.
std::int32_t ReadRtuResponse(SerialIO& port, Buffer& reply,
                             std::uint8_t address);

// Reads the address and the function byte; returns the bytes read (at
// least 2), kRtuReadFailed, kRtuTimedOut or kRtuWrongAddress.
std::int32_t ReadRtuHeader(SerialIO& port, Buffer& reply, std::uint8_t address);

// The readers of RTU_FuncTbl: they complete a reply whose first `count`
// bytes are in `reply` and return CheckRtuCrc's result or a read failure.
// A reply that carries a byte count in its third byte: count + 5 bytes.
std::int32_t ReadRtuByteCountFrame(SerialIO& port, Buffer& reply,
                                   std::int32_t count);
// A reply of a fixed length.
std::int32_t ReadRtuFrameOfLength(SerialIO& port, Buffer& reply,
                                  std::int32_t count, std::int32_t length);
template <std::int32_t kLength>
std::int32_t ReadRtuFixedFrame(SerialIO& port, Buffer& reply,
                               std::int32_t count) {
  return ReadRtuFrameOfLength(port, reply, count, kLength);
}

// count - 2 when the CRC over all `count` bytes is 0, otherwise kRtuBadCrc.
std::int32_t CheckRtuCrc(const std::uint8_t* frame, std::int32_t count);
