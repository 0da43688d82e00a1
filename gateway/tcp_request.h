#pragma once
// Reading Modbus TCP requests from a client connection, one at a time.
#include <cstddef>
#include <cstdint>

#include "gateway/buffer.h"
#include "gateway/mbap_header.h"

class BasicClient;

// Results below 1; they are also the keys of the "ModbusTCP" error texts.
inline constexpr std::int32_t kTcpPeerClosed = 0;      // before a whole request
inline constexpr std::int32_t kTcpReceiveFailed = -1;  // time-out included
inline constexpr std::int32_t kTcpNotModbus = -2;      // protocol id not 0
inline constexpr std::int32_t kTcpTooLong = -3;        // length + 6 > 260
inline constexpr std::int32_t kTcpTooShort = -4;       // length below 2

// Bytes that a client sent behind the request last read, within the same
// receive. A Modbus TCP client may send its next requests before it has
// the replies, so these bytes are the start of the next request and must
// not be lost. They are kept apart from the request buffer because the
// gateway reads the device's reply into that buffer before it reads the
// next request. One per connection, kept across all its requests; its
// storage grows once, to the request buffer's size, the first time a
// client sends ahead.
struct TcpReadAhead {
  Buffer bytes;
  std::size_t count = 0;  // bytes waiting at the start of `bytes`
};

// Reads one request into the start of `request` and its first 7 bytes
// into `header`. The request begins with the bytes that `read_ahead`
// holds; every receive asks for all the room left in `request`. Checked
// in this order: the first 7 bytes in (kTcpPeerClosed, kTcpReceiveFailed),
// the protocol id (kTcpNotModbus), the length (kTcpTooLong or kTcpTooShort,
// before more is read), the rest of the request (kTcpPeerClosed,
// kTcpReceiveFailed).
//
// Returns the bytes in `request`: the whole request (header.length + 6
// bytes) and whatever came behind it, which is moved to `read_ahead` for
// the next call. After a result below 1 `read_ahead` is empty.
// `request` must be of the same size on every call of a connection and
// hold at least kMaxTcpRequestSize bytes.
std::int32_t ReadTcpRequest(BasicClient& client, Buffer& request,
                            MbapHeader& header, TcpReadAhead& read_ahead);
