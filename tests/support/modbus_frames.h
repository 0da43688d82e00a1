#pragma once
// Modbus frames for tests, built here rather than with the gateway's own
// framing code, so that a fault there cannot hide itself in the tests.
//
//   std::string pdu = Bytes({0x03, 0x00, 0x6B, 0x00, 0x03});
//   std::string request = TcpFrame(7, 0x11, pdu);   // what a client sends
//   std::string on_line = RtuFrame(0x11, pdu);      // what the device gets
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// The bytes, each given as a number from 0 to 255.
std::string Bytes(std::initializer_list<int> bytes);

// Unit id and PDU followed by their CRC, low byte first.
std::string RtuFrame(std::uint8_t unit, std::string_view pdu);

// A Modbus TCP frame: transaction id, protocol id 0, length, unit id, PDU.
std::string TcpFrame(std::uint16_t transaction_id, std::uint8_t unit,
                     std::string_view pdu);

// A request for holding register `address` of `unit`, and the reply of the
// simulated devices, whose register k of unit u holds u * 1000 + k.
std::string ReadRegister(std::uint16_t transaction, std::uint8_t unit,
                         int address);
std::string RegisterReply(std::uint16_t transaction, std::uint8_t unit,
                          int address);
// The same for `count` registers from `address` on.
std::string ReadRegisters(std::uint16_t transaction, std::uint8_t unit,
                          int address, int count);
std::string RegistersReply(std::uint16_t transaction, std::uint8_t unit,
                           int address, int count);

// The PDU behind a Modbus TCP frame's 7-byte header.
std::string PduOf(std::string_view tcp_frame);
// "01 03 00 6B" for failure messages.
std::string Hex(std::string_view bytes);
