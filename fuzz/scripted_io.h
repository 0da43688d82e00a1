#pragma once
// The fuzz targets drive the framing readers without sockets or serial
// ports: they link these definitions of BasicClient and SerialIO in place
// of the real ones, and every receive or read takes its next piece from a
// script made of the fuzzer's bytes. So the fuzzer chooses both the bytes
// and how they are cut into pieces, which real I/O would not let it do.
//
// A script is a list of pieces. Each piece begins with a control byte c:
//   c = 0xFF  the receive or read fails
//   c = 0     all the rest of the script arrives in this piece
//   else      the next c bytes arrive (fewer when less is left or the
//             caller has less room)
// An exhausted script reads as end of stream: 0 from BasicClient::Recv
// (peer closed) and from SerialIO::Read (read time-out).
#include <cstddef>
#include <cstdint>
#include <vector>

struct FuzzScript {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  // Every payload byte handed out, in order: the stream the reader saw.
  std::vector<std::uint8_t> delivered;
  // Where in `delivered` the last piece with bytes began.
  std::size_t last_piece_offset = 0;
};

// The script that the next receives and reads consume.
void SetFuzzScript(FuzzScript* script);
