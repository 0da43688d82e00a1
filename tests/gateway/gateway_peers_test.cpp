// The gateway between third-party Modbus programs: libmodbus, pymodbus and
// mbpoll as clients; libmodbus and pymodbus devices on three ports.
#include <modbus/modbus.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"
#include "tests/support/gateway_fixture.h"

namespace {

// Holding register `address` of `unit` with a libmodbus client; -1 on a
// failure. The simulated devices hold unit * 1000 + address there.
int ReadWithLibmodbus(int port, int unit, int address) {
  modbus_t* context = modbus_new_tcp("127.0.0.1", port);
  std::uint16_t value = 0;
  const bool read = context != nullptr && modbus_connect(context) == 0 &&
                    modbus_set_slave(context, unit) == 0 &&
                    modbus_read_registers(context, address, 1, &value) == 1;
  if (context != nullptr) {
    modbus_close(context);
    modbus_free(context);
  }
  return read ? value : -1;
}

TEST(GatewayBetweenPeers, RoutesEveryClientsRequestsToTheDeviceOfItsPort) {
  GatewayFixture gateway;
  gateway.StartDevice(gateway.AddPort(1, "1-5"), 3);
  gateway.StartDevice(gateway.AddPort(2, "10-12"), 11);
  gateway.StartPymodbusDevice(gateway.AddSocatPort(3, "20,21"), {20, 21});
  ASSERT_TRUE(gateway.Start());
  const std::string port = std::to_string(gateway.TcpPort());

  // Ten function codes and an exception reply on each unit.
  const ProgramRun pymodbus = RunProgram(
      {"/usr/bin/python3", std::string(QV_SOURCE_DIR) + "/tools/peers/tcp_client.py",
       "--port", port, "--unit", "3", "--unit", "11", "--unit", "20",
       "--unit", "21"},
      60000);
  EXPECT_EQ(pymodbus.status, 0);
  int passed = 0;
  for (const std::string& line : pymodbus.lines) {
    if (line.rfind("ok ", 0) == 0) ++passed;
    EXPECT_NE(line.rfind("FAIL", 0), 0u) << line;
  }
  EXPECT_EQ(passed, 4 * 11);

  // -0: addresses as on the wire; -1: one write only.
  const ProgramRun write =
      RunProgram({"/usr/bin/mbpoll", "-m", "tcp", "-a", "21", "-p", port, "-t",
                  "4", "-0", "-r", "60", "-1", "127.0.0.1", "1234"},
                 30000);
  EXPECT_EQ(write.status, 0);
  EXPECT_EQ(ReadWithLibmodbus(gateway.TcpPort(), 21, 60), 1234);
}

}  // namespace
