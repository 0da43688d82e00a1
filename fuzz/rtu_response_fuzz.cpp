// Reads one device reply from a scripted serial port and checks what the
// result promises: a reply comes from the expected address, has a reader,
// its CRC holds and it is as long as its function byte's rule; reading
// stopped once that length was in; every failure is the one of the check
// that the bytes read would fail first.
#include <algorithm>
#include <cstdint>

#include "fuzz/fuzz_require.h"
#include "fuzz/scripted_io.h"
#include "gateway/crc16.h"
#include "gateway/rtu_func_table.h"
#include "gateway/rtu_response.h"
#include "gateway/serial_io.h"
#include "gateway/tcp_response.h"

namespace {

// The length that the reader of the reply's function byte waits for.
std::size_t RuleLength(const Buffer& reply) {
  const RtuFrameReader reader = RTU_FuncTbl[reply[1]];
  if (reader == &ReadRtuByteCountFrame) return reply[2] + 5u;
  if (reader == &ReadRtuFixedFrame<8>) return 8;
  if (reader == &ReadRtuFixedFrame<10>) return 10;
  return 5;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gInitialRTU_FuncTbl.Build();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t address = data[0];
  FuzzScript script;
  script.data = data + 1;
  script.size = size - 1;
  SetFuzzScript(&script);
  SerialIO port;
  Buffer reply(1024);

  const std::int32_t result = ReadRtuResponse(port, reply, address);
  const auto& stream = script.delivered;
  const std::size_t count = stream.size();
  FUZZ_REQUIRE(count <= reply.size());
  FUZZ_REQUIRE(std::equal(stream.begin(), stream.end(), reply.begin()));

  if (result == kRtuReadFailed || result == kRtuTimedOut) {
    // A read came short: of the first two bytes, or of a reply that had
    // passed the address and function checks.
    if (count >= 2) {
      FUZZ_REQUIRE(reply[0] == address && RTU_FuncTbl[reply[1]] != nullptr);
      FUZZ_REQUIRE(RuleLength(reply) > count);
    }
  } else if (result == kRtuWrongAddress) {
    FUZZ_REQUIRE(count >= 2 && reply[0] != address);
  } else if (result == kRtuNoReader) {
    FUZZ_REQUIRE(count >= 2 && reply[0] == address);
    FUZZ_REQUIRE(RTU_FuncTbl[reply[1]] == nullptr);
  } else {
    FUZZ_REQUIRE(reply[0] == address && RTU_FuncTbl[reply[1]] != nullptr);
    const std::size_t rule = RuleLength(reply);
    FUZZ_REQUIRE(count >= rule && script.last_piece_offset < rule);
    const bool crc_holds =
        ModbusCrc16(reply.data(), static_cast<std::uint16_t>(count)) == 0;
    if (result == kRtuBadCrc) {
      FUZZ_REQUIRE(!crc_holds);
    } else {
      FUZZ_REQUIRE(crc_holds && result == static_cast<std::int32_t>(count) - 2);
      MbapHeader header;
      header.transaction_id = 0x1234;
      Buffer out(4096);
      const std::uint32_t m = BuildTcpResponse(out, reply, header, result);
      FUZZ_REQUIRE(m == 6u + result);
      FUZZ_REQUIRE(
          std::equal(reply.begin(), reply.begin() + result, out.begin() + 6));
    }
  }
  SetFuzzScript(nullptr);
  return 0;
}
