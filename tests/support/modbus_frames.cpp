#include "tests/support/modbus_frames.h"

#include <cstdio>

std::string Bytes(std::initializer_list<int> bytes) {
  std::string result;
  for (const int byte : bytes) result.push_back(static_cast<char>(byte));
  return result;
}

// CRC-16/MODBUS, computed bit by bit.
static std::uint16_t Crc16(std::string_view bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const char byte : bytes) {
    crc ^= static_cast<std::uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

std::string RtuFrame(std::uint8_t unit, std::string_view pdu) {
  std::string frame(1, static_cast<char>(unit));
  frame.append(pdu);
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(static_cast<char>(crc & 0xFF));
  frame.push_back(static_cast<char>(crc >> 8));
  return frame;
}

std::string TcpFrame(std::uint16_t transaction_id, std::uint8_t unit,
                     std::string_view pdu) {
  const std::size_t length = pdu.size() + 1;
  std::string frame =
      Bytes({transaction_id >> 8, transaction_id & 0xFF, 0, 0,
             static_cast<int>(length >> 8), static_cast<int>(length & 0xFF),
             unit});
  frame.append(pdu);
  return frame;
}

std::string ReadRegister(std::uint16_t transaction, std::uint8_t unit,
                         int address) {
  return ReadRegisters(transaction, unit, address, 1);
}

std::string RegisterReply(std::uint16_t transaction, std::uint8_t unit,
                          int address) {
  return RegistersReply(transaction, unit, address, 1);
}

std::string ReadRegisters(std::uint16_t transaction, std::uint8_t unit,
                          int address, int count) {
  return TcpFrame(transaction, unit,
                  Bytes({0x03, address >> 8, address & 0xFF, count >> 8,
                         count & 0xFF}));
}

std::string RegistersReply(std::uint16_t transaction, std::uint8_t unit,
                           int address, int count) {
  std::string pdu = Bytes({0x03, 2 * count});
  for (int k = address; k < address + count; ++k) {
    const int value = unit * 1000 + k;
    pdu += Bytes({value >> 8, value & 0xFF});
  }
  return TcpFrame(transaction, unit, pdu);
}

std::string PduOf(std::string_view tcp_frame) {
  return std::string(tcp_frame.substr(7));
}

std::string Hex(std::string_view bytes) {
  std::string text;
  for (const char byte : bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<std::uint8_t>(byte));
    if (!text.empty()) text += ' ';
    text += digits;
  }
  return text;
}
