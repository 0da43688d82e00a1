#pragma once
// The CRC-16 that ends every Modbus RTU frame (CRC-16/MODBUS: reflected
// polynomial 0xA001, initial value 0xFFFF, no final XOR). A frame carries
// the result's low-order byte first, so the CRC over a frame together with
// its correct CRC bytes is 0.
#include <cstdint>

std::uint16_t ModbusCrc16(const std::uint8_t* data, std::uint16_t length);
