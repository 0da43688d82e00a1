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
#include "platform/wait.h"

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

// Writes the RTU request in `output` to the port and reads the device's
// reply into `request`. The reply's length without its CRC, or a value
// below 0 after a failure that has been logged.
std::int32_t ExchangeWithDevice(Connection& c, SIO_Item& item,
                                std::uint32_t frame_length) {
  SerialIO& port = *item.port;
  port.Purge();
  port.SetRTS(true);
  // Sleep(0) would still give the processor away while the port is held.
  if (item.RtsDelay > 0) Sleep(item.RtsDelay);
  // After the delay, which already counts towards the gap between frames.
  port.WaitForSilence();
  const std::int32_t written = port.WriteAll(c.output.data(), frame_length);
  port.SetRTS(false);
  if (written != static_cast<std::int32_t>(frame_length)) {
    c.log.Log(port.ErrorText());
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
    c.log.LogError("ModbusRTU", reply, c.client_text, c.unit_text);
    port.Purge();  // whatever else the device sends belongs to no request
  }
  return reply;
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
    return true;  // no reply; the client's own time-out tells it
  }
  const std::uint32_t frame_length =
      BuildRtuRequest(c.output, c.request, received, c.header);
  const std::int32_t reply = ExchangeWithDevice(c, *item, frame_length);
  // The port is free again before the client is answered, so a slow
  // client never holds up the line.
  gSioList->Locks().Unlock(unit_id);
  if (reply < 0) return true;

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
    // Once a stop has begun the connection is shut down and no reply can
    // reach the client; requests it sent ahead would only keep the stop
    // waiting, a read time-out each at a silent device.
    if (gWinTCPEnv->IsListening() == 0) break;
    if (!ServeRequest(c, received)) break;
  }
  return 0;  // destroying the connection closes and unregisters it
}
