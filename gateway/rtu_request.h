#pragma once
// The Modbus RTU request that carries a Modbus TCP request to its device:
// the unit id and the PDU, unchanged, followed by their CRC-16, low-order
// byte first.
#include <cstdint>

#include "gateway/buffer.h"
#include "gateway/mbap_header.h"

// Builds the frame at the start of `out` from the request that
// ReadTcpRequest left in `request` with `header`, and returns its length,
// header.length + 2. `received` is ReadTcpRequest's result; the frame does
// not depend on it. `out` must hold at least kMaxTcpRequestSize bytes.
std::uint32_t BuildRtuRequest(Buffer& out, const Buffer& request,
                              std::int32_t received, const MbapHeader& header);
