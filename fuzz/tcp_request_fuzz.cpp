// Reads request after request from one scripted connection, as a gateway
// thread does, and checks what every result promises: a request is the
// next stretch of the byte stream (nothing read ahead is lost, reordered
// or duplicated), it fits the limits, and its RTU frame is sound.
#include <algorithm>
#include <cstdint>

#include "fuzz/fuzz_require.h"
#include "fuzz/scripted_io.h"
#include "gateway/crc16.h"
#include "gateway/rtu_request.h"
#include "gateway/tcp_env.h"
#include "gateway/tcp_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzScript script;
  script.data = data;
  script.size = size;
  SetFuzzScript(&script);
  BasicClient client(new ClientStub{INVALID_SOCKET, nullptr});
  Buffer request(1024);
  Buffer out(4096);
  MbapHeader header;
  TcpReadAhead read_ahead;

  std::size_t consumed = 0;  // stream bytes of the requests read so far
  for (;;) {
    const std::int32_t result =
        ReadTcpRequest(client, request, header, read_ahead);
    if (result < 1) {
      FUZZ_REQUIRE(result >= kTcpTooShort);
      FUZZ_REQUIRE(read_ahead.count == 0);
      break;
    }
    const std::int32_t total = header.length + kMbapPrefixSize;
    FUZZ_REQUIRE(header.protocol_id == 0);
    FUZZ_REQUIRE(total <= kMaxTcpRequestSize);
    FUZZ_REQUIRE(header.length >= kMinMbapLength);
    FUZZ_REQUIRE(result >= total && result <= 1024);

    const auto& stream = script.delivered;
    FUZZ_REQUIRE(consumed + total <= stream.size());
    FUZZ_REQUIRE(std::equal(request.begin(), request.begin() + total,
                            stream.begin() + consumed));
    consumed += total;
    FUZZ_REQUIRE(read_ahead.count == stream.size() - consumed);
    FUZZ_REQUIRE(std::equal(stream.begin() + consumed, stream.end(),
                            read_ahead.bytes.begin()));

    const std::uint32_t n = BuildRtuRequest(out, request, result, header);
    FUZZ_REQUIRE(n == header.length + 2u);
    FUZZ_REQUIRE(ModbusCrc16(out.data(), static_cast<std::uint16_t>(n)) == 0);
    FUZZ_REQUIRE(std::equal(out.begin(), out.begin() + header.length,
                            request.begin() + kMbapPrefixSize));

    // The gateway reads the device's reply into the request buffer before
    // it reads the next request; the bytes read ahead must not live there.
    std::fill(request.begin(), request.end(), 0xA5);
  }
  SetFuzzScript(nullptr);
  return 0;
}
