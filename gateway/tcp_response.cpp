#include "gateway/tcp_response.h"

#include <algorithm>

#include "gateway/pack_be.h"

std::uint32_t BuildTcpResponse(Buffer& out, const Buffer& reply,
                               const MbapHeader& header, std::int32_t n) {
  PackBE(out.data(), "HHH", header.transaction_id, header.protocol_id, n);
  std::copy_n(reply.begin(), n, out.begin() + kMbapPrefixSize);
  return static_cast<std::uint32_t>(kMbapPrefixSize + n);
}
