#pragma once
// The one request the benchmark sends: read 10 holding registers from
// address 0 of a unit, as a Modbus TCP frame and as a Modbus RTU frame,
// and the checks that a reply is the right one. The simulated device holds
// unit * 1000 + k in register k, so a reply also tells which device sent it.
#include <cstddef>
#include <cstdint>

inline constexpr std::uint16_t kRegisterCount = 10;

inline constexpr std::size_t kTcpRequestSize = 12;  // MBAP 7 + PDU 5
inline constexpr std::size_t kTcpReplySize = 29;    // MBAP 7 + 2 + 20
inline constexpr std::size_t kRtuRequestSize = 8;   // 1 + PDU 5 + CRC 2
inline constexpr std::size_t kRtuReplySize = 25;    // 1 + 2 + 20 + CRC 2

void BuildTcpRead(std::uint8_t* frame, std::uint16_t transaction_id,
                  std::uint8_t unit);
bool IsTcpReadReply(const std::uint8_t* frame, std::uint16_t transaction_id,
                    std::uint8_t unit);

void BuildRtuRead(std::uint8_t* frame, std::uint8_t unit);
bool IsRtuReadReply(const std::uint8_t* frame, std::uint8_t unit);
