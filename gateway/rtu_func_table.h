#pragma once
// Which reader completes an RTU reply, chosen by the reply's function byte
// alone (it is not compared with the request's function code). The table
// knows the replies to function codes 1 to 6, 15, 16, 22 and 23 and their
// exception replies; any other function byte has no reader.
#include <array>
#include <cstdint>

#include "gateway/buffer.h"
#include "platform/global_object.h"

class SerialIO;

// Completes a reply whose first `count` bytes are in `reply`; results as
// ReadRtuResponse.
using RtuFrameReader = std::int32_t (*)(SerialIO& port, Buffer& reply,
                                        std::int32_t count);

// Empty until gInitialRTU_FuncTbl is built, which happens once at start-up
// before any gateway thread runs; only read afterwards.
extern std::array<RtuFrameReader, 256> RTU_FuncTbl;

// Its construction empties RTU_FuncTbl and sets the known entries; its
// destruction leaves the table as it is.
class InitialRTU_FuncTbl {
 public:
  InitialRTU_FuncTbl();
};

extern GlobalObject<InitialRTU_FuncTbl> gInitialRTU_FuncTbl;
