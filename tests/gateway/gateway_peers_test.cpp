// The gateway between third-party Modbus programs: libmodbus, pymodbus and
// mbpoll as clients; simulated RTU devices built on libmodbus and on
// pymodbus behind it, on several ports. The pymodbus client uses every
// function code, and an exception reply, on every port.
#include <modbus/modbus.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/raw_modbus_client.h"

namespace {

// The simulated devices answer register k of unit u with u * 1000 + k.
constexpr int RegisterValue(int unit, int address) {
  return unit * 1000 + address;
}

// A libmodbus TCP client connected to the gateway.
class LibmodbusClient {
 public:
  explicit LibmodbusClient(int port)
      : context_(modbus_new_tcp("127.0.0.1", port)) {
    connected_ = context_ != nullptr && modbus_connect(context_) == 0;
    if (connected_) modbus_set_response_timeout(context_, 10, 0);
  }
  ~LibmodbusClient() {
    if (connected_) modbus_close(context_);
    if (context_ != nullptr) modbus_free(context_);
  }
  LibmodbusClient(const LibmodbusClient&) = delete;
  LibmodbusClient& operator=(const LibmodbusClient&) = delete;

  bool IsConnected() const { return connected_; }
  // The holding register, or -1 after a failure.
  int ReadRegister(int unit, int address) {
    uint16_t value = 0;
    modbus_set_slave(context_, unit);
    return modbus_read_registers(context_, address, 1, &value) == 1 ? value
                                                                    : -1;
  }

 private:
  modbus_t* context_;
  bool connected_ = false;
};

// Three ports: two with a libmodbus device each, one with a pymodbus line
// of two devices.
class GatewayBetweenPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway_.StartDevice(gateway_.AddPort(1, "1-5"), 3);
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), 11);
    const std::string line = gateway_.AddSocatPort(3, "20,21");
    gateway_.StartPymodbusDevice(line, {20, 21});
    ASSERT_TRUE(gateway_.Start());
  }

  std::string Port() const { return std::to_string(gateway_.TcpPort()); }

  GatewayFixture gateway_;
};

TEST_F(GatewayBetweenPeers, RoutesEachUnitIdToTheDeviceOfItsPort) {
  LibmodbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.IsConnected());
  for (int round = 0; round < 3; ++round) {
    for (const int unit : {3, 11, 20, 21}) {
      EXPECT_EQ(client.ReadRegister(unit, 40 + round),
                RegisterValue(unit, 40 + round))
          << "unit " << unit;
    }
  }
}

TEST_F(GatewayBetweenPeers, PymodbusClientUsesEveryFunctionCodeOnEveryPort) {
  const ProgramRun run = RunProgram(
      {"/usr/bin/python3", std::string(QV_SOURCE_DIR) + "/tools/peers/tcp_client.py",
       "--port", Port(), "--unit", "3", "--unit", "11", "--unit", "20",
       "--unit", "21"},
      60000);
  EXPECT_EQ(run.status, 0);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "done");
  int passed = 0;
  for (const std::string& line : run.lines) {
    if (line.rfind("ok ", 0) == 0) ++passed;
    EXPECT_NE(line.rfind("FAIL", 0), 0u) << line;
  }
  EXPECT_EQ(passed, 4 * 11);  // ten function codes and an exception each
}

TEST_F(GatewayBetweenPeers, MbpollReadsAndWritesRegisters) {
  // -0: addresses as on the wire; -1: one poll only.
  const ProgramRun read =
      RunProgram({"/usr/bin/mbpoll", "-m", "tcp", "-a", "11", "-p", Port(),
                  "-t", "4", "-0", "-r", "30", "-c", "3", "-1", "127.0.0.1"},
                 30000);
  EXPECT_EQ(read.status, 0);
  std::vector<std::string> values;
  for (const std::string& line : read.lines) {
    if (line.rfind("[", 0) == 0) values.push_back(line);
  }
  EXPECT_EQ(values, std::vector<std::string>({"[30]: \t11030", "[31]: \t11031",
                                              "[32]: \t11032"}));

  const ProgramRun write =
      RunProgram({"/usr/bin/mbpoll", "-m", "tcp", "-a", "21", "-p", Port(),
                  "-t", "4", "-0", "-r", "60", "-1", "127.0.0.1", "1234", "5678"},
                 30000);
  EXPECT_EQ(write.status, 0);
  LibmodbusClient client(gateway_.TcpPort());
  EXPECT_EQ(client.ReadRegister(21, 60), 1234);
  EXPECT_EQ(client.ReadRegister(21, 61), 5678);
}

}  // namespace
