#include "tests/support/gateway_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>

#include "common/error_message_db.h"
#include "common/message_fifo.h"
#include "common/setting.h"
#include "gateway/gateway_control.h"
#include "gateway/rtu_func_table.h"
#include "gateway/sio_list.h"
#include "gateway/tcp_env.h"
#include "platform/sync.h"
#include "tests/support/deadline.h"
#include "tests/support/loopback_sockets.h"

static std::string PymodbusDevicePath() {
  return std::string(QV_SOURCE_DIR) + "/tools/peers/rtu_device.py";
}

EngineGlobals::EngineGlobals() {
  gMsgFIFO.Build();
  gWinTCPEnv.Build();
  InitSioListGlobals();
  gInitialRTU_FuncTbl.Build();
  gSetting.Build();
  gErrMsgDB.Build();
}

EngineGlobals::~EngineGlobals() {
  gErrMsgDB.Destroy();
  gSetting.Destroy();
  gInitialRTU_FuncTbl.Destroy();
  ExitSioListGlobals();
  gWinTCPEnv.Destroy();
  gMsgFIFO.Destroy();
}

GatewayFixture::GatewayFixture()
    : in_folder_(folder_.path()),
      tcp_port_(FreeLoopbackPort()),
      log_stop_(CreateEventA(nullptr, 1, 0, nullptr)) {
  folder_.CopyConfig("ErrorMsg_EN.ini");
  log_collector_ = std::thread([this] { CollectLog(); });
}

GatewayFixture::~GatewayFixture() {
  if (IsGatewayRunning()) StopGateway();
  devices_.clear();
  SetEvent(log_stop_);
  log_collector_.join();
  CloseHandle(log_stop_);
}

PtyPort& GatewayFixture::AddPort(unsigned number,
                                 const std::string& slave_addr_list,
                                 PortOptions options) {
  pty_lines_.push_back(std::make_unique<PtyPort>(ports_folder_, number));
  ports_.push_back({pty_lines_.back()->Name(), slave_addr_list, options});
  return *pty_lines_.back();
}

PortOptions& GatewayFixture::OptionsOf(const PtyPort& port) {
  const auto listed =
      std::find_if(ports_.begin(), ports_.end(),
                   [&](const Port& each) { return each.name == port.Name(); });
  // An exception, not a failed expectation: the caller must not go on
  // with a reference to nothing.
  if (listed == ports_.end())
    throw std::invalid_argument(port.Name() + " is not a port of this gateway");
  return listed->options;
}

std::string GatewayFixture::AddSocatPort(unsigned number,
                                         const std::string& slave_addr_list,
                                         PortOptions options) {
  const std::string name = "COM" + std::to_string(number);
  const std::string gateway_end = folder_.File(name + "-gateway");
  const std::string device_end = folder_.File(name + "-device");
  const std::vector<std::string> socat = {
      "/usr/bin/socat", "pty,raw,echo=0,link=" + gateway_end,
      "pty,raw,echo=0,link=" + device_end};
  socat_lines_.push_back(std::make_unique<ChildProcess>(socat));
  // socat makes the links a moment after it starts.
  if (!WaitUntil(
          [&] {
            return access(gateway_end.c_str(), F_OK) == 0 &&
                   access(device_end.c_str(), F_OK) == 0;
          },
          std::chrono::seconds(10))) {
    ADD_FAILURE() << "socat did not make " << gateway_end;
  }
  ports_folder_.Link(name, gateway_end);
  ports_.push_back({name, slave_addr_list, options});
  return device_end;
}

ChildProcess& GatewayFixture::StartDevice(
    PtyPort& port, int unit, const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {LibmodbusDevicePath(), "--fd", "3",
                                   "--unit", std::to_string(unit)};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return StartReadyDevice(argv, port.FarFd());
}

ChildProcess& GatewayFixture::StartPymodbusDevice(
    const std::string& device_path, const std::vector<int>& units) {
  std::vector<std::string> argv = {"/usr/bin/python3", PymodbusDevicePath(),
                                   "--port", device_path};
  for (const int unit : units) {
    argv.push_back("--unit");
    argv.push_back(std::to_string(unit));
  }
  return StartReadyDevice(argv, -1);
}

ChildProcess& GatewayFixture::StartReadyDevice(
    const std::vector<std::string>& argv, int inherit_fd) {
  devices_.push_back(std::make_unique<ChildProcess>(argv, inherit_fd));
  ChildProcess& device = *devices_.back();
  std::string ready;
  EXPECT_TRUE(device.ReadLine(ready, 20000) && ready == "ready")
      << "the simulated device " << argv[1] << " did not start";
  return device;
}

void GatewayFixture::WriteErrorTexts(const std::string& content) {
  folder_.Write("ErrorMsg_EN.ini", content);
}

void GatewayFixture::WriteConfiguration() {
  std::ostringstream ini;
  const auto name_of = [](const Port& port) {
    return port.options.written_as.empty() ? port.name : port.options.written_as;
  };
  std::string names;
  for (const Port& port : ports_) {
    if (!names.empty()) names += ',';
    names += name_of(port);
  }
  ini << "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=" << tcp_port_
      << "\nIP=127.0.0.1\nTxTimeout=" << server_.tx_timeout_ms
      << "\nRxTimeout=" << server_.rx_timeout_ms << "\nSerialPorts=" << names
      << "\nMaxConnections=" << server_.max_connections
      << "\n[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n";
  for (const Port& port : ports_) {
    ini << "[" << name_of(port) << "]\nBaudrate=" << port.options.baudrate
        << "\nParity=none\n"
        << "ByteSize=8\nStopBits=1\nSlaveAddrList=" << port.slave_addr_list
        << "\nRtsDelay=" << port.options.rts_delay_ms
        << "\nTxTimeout=" << port.options.tx_timeout_ms
        << "\nRxTimeout=" << port.options.rx_timeout_ms << "\n";
  }
  folder_.Write("Quorvelin.ini", ini.str());
}

bool GatewayFixture::Start() {
  WriteConfiguration();
  if (!gSetting->IsLoaded() && gSetting->Load() != 0) {
    ADD_FAILURE() << "configuration: " << gSetting->GetErrorText();
    return false;
  }
  return StartGateway();
}

bool GatewayFixture::Stop() { return StopGateway(); }

void GatewayFixture::CollectLog() {
  for (;;) {
    AnsiString line;
    if (gMsgFIFO->Pop(line, log_stop_, INFINITE) != kFifoOk) return;
    std::lock_guard<std::mutex> guard(log_mutex_);
    log_lines_.push_back(line.str());
  }
}

std::vector<std::string> GatewayFixture::LogLines() {
  std::lock_guard<std::mutex> guard(log_mutex_);
  return log_lines_;
}

int GatewayFixture::CountLogLines(const std::string& text) {
  std::lock_guard<std::mutex> guard(log_mutex_);
  return static_cast<int>(std::count_if(
      log_lines_.begin(), log_lines_.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
      }));
}

bool GatewayFixture::WaitForLogLines(const std::string& text, int count,
                                     int timeout_ms) {
  return WaitUntil([&] { return CountLogLines(text) >= count; },
                   std::chrono::milliseconds(timeout_ms));
}

std::string LibmodbusDevicePath() {
  return std::string(QV_BINARY_DIR) + "/tools/rtu_device";
}

bool StopsWithinGuard(GatewayFixture& gateway) {
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    EXPECT_TRUE(gateway.Stop());
    stopped = true;
  });
  const bool in_time =
      WaitUntil([&] { return stopped.load(); }, std::chrono::seconds(10));
  stopper.join();
  return in_time;
}
