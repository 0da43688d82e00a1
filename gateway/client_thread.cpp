#include <chrono>

#include "common/setting.h"
#include "gateway/buffer.h"
#include "gateway/gateway_threads.h"
#include "gateway/log_line.h"
#include "gateway/mbap_header.h"
#include "gateway/rtu_reply_check.h"
#include "gateway/rtu_request.h"
#include "gateway/rtu_response.h"
#include "gateway/sio_list.h"
#include "gateway/tcp_env.h"
#include "gateway/tcp_request.h"
#include "gateway/tcp_response.h"

namespace {

constexpr std::size_t kRequestBufferSize = 1024;
constexpr std::size_t kOutputBufferSize = 4096;

// Everything one connection keeps for all its requests, made once.
struct Connection {
  explicit Connection(ClientStub* stub)
      : client(stub),
        client_text(AnsiString("client ") + client.PeerAddress()),
        request(kRequestBufferSize, 0),
        output(kOutputBufferSize, 0) {}

  BasicClient client;
  const AnsiString client_text;  // "client a.b.c.d" for the log lines
  Buffer request;  // the request as read, later the device's reply
  Buffer output;   // the RTU request, later the TCP reply
  TcpReadAhead read_ahead;  // bytes the client sent ahead: its next request
  MbapHeader header;
  LogLine log;
  AnsiString unit_text;  // "modbus unit N" of the request in hand
};

// Once a stop has begun every port's transfers are cancelled, so nothing
// more goes on a line, and the connections are being shut down, so no
// reply could reach a client.
bool GatewayIsStopping() { return gSioList->TransfersCancelled(); }

// Ends the connection with the line that a closed connection gets. A stop
// shuts every connection down, so a client that the stop ends gets the
// same line whether its thread was reading, waiting for a port or busy
// with a device.
bool EndConnection(Connection& c) {
  c.log.LogError("ModbusTCP", kTcpPeerClosed, c.client_text);
  return false;
}

// A frame that went out may be answered until the device's reply is over,
// though nobody reads the reply once the stop has cut the exchange short;
// the next request on the line must not take it for its own.
void NoteAbandonedReply(SIO_Item& item,
                        std::chrono::steady_clock::time_point sent) {
  item.owed_reply = item.port->ReplyOwedSince(sent);
}

// Before a line takes a new request after a stop abandoned an exchange on
// it: lets the reply that the device may still be sending pass (the purge
// at the start of the next exchange drops what is left of it). False when
// a stop cuts the wait short.
bool LetAbandonedReplyPass(SIO_Item& item) {
  if (!item.owed_reply) return true;
  if (!item.port->LetOwedReplyPass(*item.owed_reply)) return false;
  item.owed_reply.reset();
  return true;
}

// Writes the RTU request in `output` to the port and reads the device's
// reply into `request`. The reply's length without its CRC, or a value
// below 0 after a failure that has been logged. An exchange that the stop
// cut short is not a device's failure and is not logged; if its frame may
// have gone out, the line is marked as owing a reply. Nor is a request
// whose client was reset before it went out, which is not written.
std::int32_t ExchangeWithDevice(Connection& c, SIO_Item& item,
                                std::uint32_t frame_length) {
  SerialIO& port = *item.port;
  port.Purge();
  port.SetRTS(true);
  // Both waits end early at a stop, and the write behind them never starts.
  // The gap between frames is timed after the RTS delay, which counts
  // towards it.
  const bool waited = (item.RtsDelay == 0 || port.Pause(item.RtsDelay)) &&
                      port.WaitForSilence();
  // The waits may have outlasted the client. A reset one gets no reply,
  // and the command of a client that has gone must not be carried out.
  if (waited && c.client.WasReset()) {
    port.SetRTS(false);
    return -1;
  }
  const std::int32_t written =
      waited ? port.WriteAll(c.output.data(), frame_length) : -1;
  port.SetRTS(false);
  if (written != static_cast<std::int32_t>(frame_length)) {
    if (!GatewayIsStopping()) {
      c.log.Log(port.ErrorText());
    } else if (waited) {
      // Cut short while writing: all of the frame may have gone out.
      NoteAbandonedReply(item, std::chrono::steady_clock::now());
    }
    port.ClearError();
    return -1;
  }
  const auto sent = std::chrono::steady_clock::now();
  const std::uint8_t address = c.output[0];
  c.unit_text.sprintf("modbus unit %u", static_cast<unsigned>(address));
  std::int32_t reply = ReadRtuResponse(port, c.request, address);
  if (reply >= 0 && !ReplyAnswersRequest(c.output.data(), frame_length - 2,
                                         c.request.data(), reply)) {
    reply = kRtuNotAnAnswer;
  }
  if (reply < 0) {
    if (GatewayIsStopping()) {
      NoteAbandonedReply(item, sent);
    } else {
      c.log.LogError("ModbusRTU", reply, c.client_text, c.unit_text);
    }
    port.Purge();  // whatever else the device sends belongs to no request
  }
  return reply;
}

// After a request that got no reply. A client that has closed its side
// (FIN or reset) never sees a reply to the requests it queued before it
// left, and each of them could hold its port for a time-out while other
// clients wait: its connection ends here. One that has not is served on
// as before; so is a client that closes its side but whose devices answer,
// since only a failure leads here.
bool ClientStillThere(Connection& c) {
  return c.client.PeerHasClosed() ? EndConnection(c) : true;
}

// Whether the request in hand may still go to its line: not once the stop
// has begun, and not for a client whose connection was reset, which no
// reply can reach. (A client that only ended its sending still reads.)
bool MayGoToTheLine(Connection& c) {
  return !GatewayIsStopping() && !c.client.WasReset();
}

// Serves the request in hand. False when the connection is to end.
bool ServeRequest(Connection& c, std::int32_t received) {
  const int unit_id = c.header.unit_id;
  int error = 0;
  SIO_Item* item = gSioList->Locks().Lock(unit_id, error);
  if (item == nullptr) {
    AnsiString text;
    text.sprintf("lock COM Port fail: error code = %d\n", error);
    c.log.Log(text);
    // No reply; the client's own time-out tells it.
    return ClientStillThere(c);
  }
  // Asked once the port is had: the wait for it may have outlasted the
  // client or the run. (Requests that a client sent ahead of a stop end
  // here too.)
  if (!MayGoToTheLine(c) || !LetAbandonedReplyPass(*item)) {
    gSioList->Locks().Unlock(unit_id);
    return EndConnection(c);
  }
  const std::uint32_t frame_length =
      BuildRtuRequest(c.output, c.request, received, c.header);
  const std::int32_t reply = ExchangeWithDevice(c, *item, frame_length);
  // The port is free again before the client is answered, so a slow
  // client never holds up the line.
  gSioList->Locks().Unlock(unit_id);
  if (reply < 0) {
    return GatewayIsStopping() ? EndConnection(c) : ClientStillThere(c);
  }

  const auto length = static_cast<std::int32_t>(
      BuildTcpResponse(c.output, c.request, c.header, reply));
  const std::int32_t sent = c.client.SendAll(c.output.data(), length, 0);
  if (sent == length) return true;
  c.log.LogError("ModbusTCP", sent, c.client_text, c.unit_text);
  return false;
}

}  // namespace

DWORD ClientThreadProc(LPVOID parameter) {
  Connection c(static_cast<ClientStub*>(parameter));
  const TSetting::TCP* tcp = gSetting->GetTCP();
  c.client.SetSendTimeout(tcp->TxTimeout);
  c.client.SetRecvTimeout(tcp->RxTimeout);
  c.client.SetNoDelay();
  for (;;) {
    const std::int32_t received =
        ReadTcpRequest(c.client, c.request, c.header, c.read_ahead);
    if (received < 1) {
      c.log.LogError("ModbusTCP", received, c.client_text);
      break;
    }
    if (!ServeRequest(c, received)) break;
  }
  return 0;  // destroying the connection closes and unregisters it
}
