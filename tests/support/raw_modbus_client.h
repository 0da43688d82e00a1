#pragma once
// A Modbus TCP client on a plain socket, for tests that need to see every
// byte: what is sent goes out exactly as given (several requests at once,
// half a request, a broken header), and replies are read frame by frame.
//
//   RawModbusClient client(gateway.TcpPort());
//   client.Send(TcpFrame(7, 3, Bytes({0x03, 0x00, 0x0A, 0x00, 0x02})));
//   std::string reply = client.ReadFrame();
//
// Time limits only end a test that would otherwise hang.
#include <string>
#include <string_view>

inline constexpr int kHangGuardMs = 20000;

class RawModbusClient {
 public:
  // Connects to 127.0.0.1:port. A receive buffer size above 0 replaces the
  // system's growing one, for a client that stops reading.
  explicit RawModbusClient(int port, int receive_buffer_bytes = 0);
  // A socket that Connect joins later: a test that makes the process run
  // short of descriptors has it before, and connecting needs no new one.
  RawModbusClient();
  ~RawModbusClient();
  RawModbusClient(const RawModbusClient&) = delete;
  RawModbusClient& operator=(const RawModbusClient&) = delete;

  bool Connect(int port);
  bool IsConnected() const { return fd_ >= 0; }
  // The TCP port of this end of the connection.
  int LocalPort() const;
  bool Send(std::string_view bytes);
  // One Modbus TCP frame: the 6 bytes up to the length and the length's
  // bytes behind them. Empty when the connection ended first.
  std::string ReadFrame(int timeout_ms = kHangGuardMs);
  std::string Ask(std::string_view request);
  // True once the other side has ended the connection (end of file or a
  // reset) without sending anything more.
  bool WaitForEnd(int timeout_ms = kHangGuardMs);
  void Close();
  // Sends the bytes and then closes, the end of data (FIN) riding on the
  // bytes' last segment: the gateway finds the connection closed already
  // when it reads the first of them.
  bool SendAndClose(std::string_view bytes);
  // Ends this side's sending (FIN) and goes on reading.
  bool CloseSending();
  // Closes with a reset (RST) instead of an orderly end.
  void CloseWithReset();

 private:
  bool ReadExactly(std::size_t count, std::string& into, int timeout_ms);

  int fd_ = -1;
};

// The bytes that `client` sent and the gateway, in this process, has not
// read yet; -1 when its end of the connection is not found.
int UnreadByGateway(const RawModbusClient& client);
