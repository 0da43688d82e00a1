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

// Once a stop has begun the connections are being shut down and no reply
// can reach a client; the stop also cancels every port's transfers, so
// that nothing more goes on a line.
bool GatewayIsStopping() { return gWinTCPEnv->IsListening() == 0; }

// Writes the RTU request in `output` to the port and reads the device's
// reply into `request`. The reply's length without its CRC, or a value
// below 0 after a failure that has been logged. An exchange that the stop
// cut short is not a device's failure and is not logged.
std::int32_t ExchangeWithDevice(Connection& c, SIO_Item& item,
                                std::uint32_t frame_length) {
  SerialIO& port = *item.port;
  port.Purge();
  port.SetRTS(true);
  // A stop ends the pause early, and the write behind it then fails.
  if (item.RtsDelay > 0) port.Pause(item.RtsDelay);
  // After the delay, which already counts towards the gap between frames.
  port.WaitForSilence();
  const std::int32_t written = port.WriteAll(c.output.data(), frame_length);
  port.SetRTS(false);
  if (written != static_cast<std::int32_t>(frame_length)) {
    if (!GatewayIsStopping()) c.log.Log(port.ErrorText());
    port.ClearError();
    return -1;
  }
  const std::uint8_t address = c.output[0];
  c.unit_text.sprintf("modbus unit %u", static_cast<unsigned>(address));
  std::int32_t reply = ReadRtuResponse(port, c.request, address);
  if (reply >= 0 && !ReplyAnswersRequest(c.output.data(), frame_length - 2,
                                         c.request.data(), reply)) {
    reply = kRtuNotAnAnswer;
  }
  if (reply < 0) {
    if (!GatewayIsStopping())
      c.log.LogError("ModbusRTU", reply, c.client_text, c.unit_text);
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
  if (!c.client.PeerHasClosed()) return true;
  c.log.LogError("ModbusTCP", kTcpPeerClosed, c.client_text);
  return false;
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
  if (GatewayIsStopping()) {
    // The port came only after the stop had begun.
    gSioList->Locks().Unlock(unit_id);
    return false;
  }
  const std::uint32_t frame_length =
      BuildRtuRequest(c.output, c.request, received, c.header);
  const std::int32_t reply = ExchangeWithDevice(c, *item, frame_length);
  // The port is free again before the client is answered, so a slow
  // client never holds up the line.
  gSioList->Locks().Unlock(unit_id);
  if (reply < 0) return !GatewayIsStopping() && ClientStillThere(c);

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
    // Requests that a client sent ahead of a stop are not served.
    if (GatewayIsStopping()) break;
    if (!ServeRequest(c, received)) break;
  }
  return 0;  // destroying the connection closes and unregisters it
}
