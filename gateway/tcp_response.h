#pragma once
// The Modbus TCP reply that carries a device's RTU reply back to its
// client: the request's transaction and protocol ids, the length n, then
// the reply's address, function byte and data; the CRC stays behind.
#include <cstdint>

#include "gateway/buffer.h"
#include "gateway/mbap_header.h"

// Builds the reply at the start of `out` from the first `n` bytes of
// `reply` (ReadRtuResponse's result) and returns its length, 6 + n.
// `out` must hold at least 6 + n bytes.
std::uint32_t BuildTcpResponse(Buffer& out, const Buffer& reply,
                               const MbapHeader& header, std::int32_t n);
