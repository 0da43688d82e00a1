#pragma once
// Runs the whole gateway engine inside a test: the global objects in the
// program's order, a configuration in a temporary current folder,
// pseudo-terminal ports reached as COMn with simulated RTU devices on their
// far ends, and every log line collected.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "tests/support/child_process.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

// The engine's global objects, built and destroyed in the program's order.
class EngineGlobals {
 public:
  EngineGlobals();
  ~EngineGlobals();
};

struct PortOptions {
  std::uint32_t tx_timeout_ms = 1000;
  std::uint32_t rx_timeout_ms = 1000;
  std::uint32_t rts_delay_ms = 0;
  std::uint32_t baudrate = 115200;  // 8N1
  std::string written_as{};  // the name in the file, if not COMn
};

struct ServerOptions {
  std::uint32_t max_connections = 64;
  std::uint32_t tx_timeout_ms = 5000;
  std::uint32_t rx_timeout_ms = 60000;
};

class GatewayFixture {
 public:
  GatewayFixture();
  ~GatewayFixture();  // stops the gateway if it runs, then the devices

  // A pseudo-terminal port COM<number> serving the unit-id list.
  PtyPort& AddPort(unsigned number, const std::string& slave_addr_list,
                   PortOptions options = {});
  // A libmodbus device with the given unit on the port's far end. Extra
  // arguments go to the device program (such as "--silent").
  ChildProcess& StartDevice(PtyPort& port, int unit,
                            const std::vector<std::string>& extra = {});

  // A port COM<number> whose line is two pseudo-terminals that socat
  // joins, for a device program that opens its end by path (pyserial);
  // that end is returned.
  std::string AddSocatPort(unsigned number,
                           const std::string& slave_addr_list,
                           PortOptions options = {});
  // A pymodbus line serving the given units at a device path.
  ChildProcess& StartPymodbusDevice(const std::string& device_path,
                                    const std::vector<int>& units);

  ServerOptions& Server() { return server_; }
  // Makes the entry `name` of the ports folder a link to `target`.
  bool LinkPort(const std::string& name, const std::string& target) {
    return ports_folder_.Link(name, target);
  }
  // The options of a port that AddPort made, for the next Start.
  PortOptions& OptionsOf(const PtyPort& port);
  // Replaces the error-text file that the configuration names.
  void WriteErrorTexts(const std::string& content);
  // Writes Quorvelin.ini and the error texts, loads the configuration and
  // starts the gateway.
  bool Start();
  bool Stop();
  int TcpPort() const { return tcp_port_; }

  // The log lines so far (time stamps included).
  std::vector<std::string> LogLines();
  // Waits up to `timeout_ms` until `count` log lines contain `text`.
  bool WaitForLogLines(const std::string& text, int count,
                       int timeout_ms = 10000);
  bool WaitForLogLine(const std::string& text, int timeout_ms = 10000) {
    return WaitForLogLines(text, 1, timeout_ms);
  }
  // How many log lines contain `text`.
  int CountLogLines(const std::string& text);

 private:
  void WriteConfiguration();
  void CollectLog();

  TempDir folder_;
  ScopedChdir in_folder_;
  PortsFolder ports_folder_;
  EngineGlobals globals_;
  ServerOptions server_;
  int tcp_port_;
  struct Port {
    std::string name;  // COMn
    std::string slave_addr_list;
    PortOptions options;
  };
  ChildProcess& StartReadyDevice(const std::vector<std::string>& argv,
                                 int inherit_fd);

  std::vector<Port> ports_;
  std::vector<std::unique_ptr<PtyPort>> pty_lines_;
  std::vector<std::unique_ptr<ChildProcess>> socat_lines_;  // by port
  std::vector<std::unique_ptr<ChildProcess>> devices_;

  HANDLE log_stop_;
  std::thread log_collector_;
  std::mutex log_mutex_;
  std::vector<std::string> log_lines_;
};

// Stops the gateway from another thread; false when the stop has not
// returned within 10 s (it would otherwise wait out a port's time-out).
bool StopsWithinGuard(GatewayFixture& gateway);

// The simulated device program of the build.
std::string LibmodbusDevicePath();
