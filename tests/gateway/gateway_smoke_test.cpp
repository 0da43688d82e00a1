// The whole road of a request through the gateway: a libmodbus TCP client,
// the gateway, a pseudo-terminal line and a libmodbus RTU device.
#include <modbus/modbus.h>

#include <gtest/gtest.h>

#include "tests/support/gateway_fixture.h"

namespace {

TEST(GatewayRoad, ReadsHoldingRegistersOfADeviceThroughTheGateway) {
  GatewayFixture gateway;
  PtyPort& line = gateway.AddPort(1, "1-5");
  gateway.StartDevice(line, 3);
  ASSERT_TRUE(gateway.Start());
  ASSERT_TRUE(gateway.WaitForLogLine("start server successful"));

  modbus_t* client = modbus_new_tcp("127.0.0.1", gateway.TcpPort());
  ASSERT_EQ(modbus_connect(client), 0);
  modbus_set_slave(client, 3);
  uint16_t registers[4] = {};
  EXPECT_EQ(modbus_read_registers(client, 10, 4, registers), 4);
  EXPECT_EQ(registers[0], 3010);
  EXPECT_EQ(registers[3], 3013);
  modbus_close(client);
  modbus_free(client);

  EXPECT_TRUE(gateway.Stop());
  EXPECT_TRUE(gateway.WaitForLogLine("stop server successful"));
}

}  // namespace
