#include "gateway/rtu_func_table.h"

#include "gateway/rtu_response.h"

constinit std::array<RtuFrameReader, 256> RTU_FuncTbl{};

GlobalObject<InitialRTU_FuncTbl> gInitialRTU_FuncTbl;

InitialRTU_FuncTbl::InitialRTU_FuncTbl() {
  RTU_FuncTbl.fill(nullptr);
  // Reads of bits and registers carry a byte count.
  for (std::uint8_t function : {0x01, 0x02, 0x03, 0x04, 0x17}) {
    RTU_FuncTbl[function] = &ReadRtuByteCountFrame;
  }
  // Single and multiple writes echo address and value or quantity.
  for (std::uint8_t function : {0x05, 0x06, 0x0F, 0x10}) {
    RTU_FuncTbl[function] = &ReadRtuFixedFrame<8>;
  }
  // A masked write echoes address and both masks.
  RTU_FuncTbl[0x16] = &ReadRtuFixedFrame<10>;
  // Exception replies: address, function | 0x80, exception code, CRC.
  for (std::uint8_t function :
       {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x8F, 0x90, 0x96, 0x97}) {
    RTU_FuncTbl[function] = &ReadRtuFixedFrame<5>;
  }
}
