#include "gateway/tcp_request.h"

#include <algorithm>

#include "gateway/pack_be.h"
#include "gateway/tcp_env.h"

namespace {

// Puts the bytes read ahead at the start of the request; returns how many.
std::int32_t TakeReadAhead(TcpReadAhead& read_ahead, Buffer& request) {
  const std::size_t count = std::min(read_ahead.count, request.size());
  std::copy_n(read_ahead.bytes.begin(), count, request.begin());
  read_ahead.count = 0;
  return static_cast<std::int32_t>(count);
}

// Keeps the bytes behind the request's `total` bytes for the next call.
void KeepReadAhead(TcpReadAhead& read_ahead, const Buffer& request,
                   std::int32_t total, std::int32_t count) {
  const auto surplus = static_cast<std::size_t>(count - total);
  if (read_ahead.bytes.size() < surplus) {
    read_ahead.bytes.resize(request.size());
  }
  std::copy_n(request.begin() + total, surplus, read_ahead.bytes.begin());
  read_ahead.count = surplus;
}

// Receives at offset `count` until at least `total` bytes are in; returns
// the new count, kTcpPeerClosed or kTcpReceiveFailed.
std::int32_t ReceiveUntil(BasicClient& client, Buffer& request,
                          std::int32_t count, std::int32_t total) {
  while (count < total) {
    const auto room = static_cast<std::int32_t>(request.size()) - count;
    const int got = client.Recv(request.data() + count, room, 0);
    if (got == 0) return kTcpPeerClosed;
    if (got < 0) return kTcpReceiveFailed;
    count += got;
  }
  return count;
}

}  // namespace

std::int32_t ReadTcpRequest(BasicClient& client, Buffer& request,
                            MbapHeader& header, TcpReadAhead& read_ahead) {
  std::int32_t count = TakeReadAhead(read_ahead, request);
  count = ReceiveUntil(client, request, count, kMbapHeaderSize);
  if (count < 1) return count;

  UnpackBE(request.data(), "HHHB", &header.transaction_id, &header.protocol_id,
           &header.length, &header.unit_id);
  if (header.protocol_id != 0) return kTcpNotModbus;
  const std::int32_t total = header.length + kMbapPrefixSize;
  if (total > kMaxTcpRequestSize) return kTcpTooLong;
  if (header.length < kMinMbapLength) return kTcpTooShort;

  count = ReceiveUntil(client, request, count, total);
  if (count < 1) return count;
  KeepReadAhead(read_ahead, request, total, count);
  return count;
}
