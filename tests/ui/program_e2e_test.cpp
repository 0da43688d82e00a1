// The real quorvelin program, as an operator starts it on a server with no
// display: a configuration that starts the gateway at once, a simulated
// RTU device behind COM1, registers read through it with mbpoll, and a
// SIGTERM that closes it cleanly.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <string>

#include "program_fixture.h"
#include "tests/support/child_process.h"

namespace {

using namespace qvtest;

const std::string kProgram = std::string(QV_BINARY_DIR) + "/ui/quorvelin";
const std::string kDevice = std::string(QV_BINARY_DIR) + "/tools/rtu_device";

class ProgramEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kDevice.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << kDevice;
    if (access("/usr/bin/mbpoll", X_OK) != 0) GTEST_SKIP() << "no mbpoll";
    ASSERT_EQ(access(kProgram.c_str(), X_OK), 0) << kProgram;
    ASSERT_TRUE(com1_.IsReady());
    config_.tcp_port = FreeLoopbackPort();
  }

  // The device serves the far end of COM1.
  std::unique_ptr<ChildProcess> StartDevice(int unit) {
    auto device = std::make_unique<ChildProcess>(
        std::vector<std::string>{kDevice, "--fd", "3", "--unit", std::to_string(unit)},
        com1_.FarFd());
    std::string line;
    EXPECT_TRUE(device->ReadLine(line, 30000) && line == "ready") << line;
    return device;
  }

  // The program as started on a machine with no display: it picks the
  // offscreen platform itself and writes its log on standard output.
  std::unique_ptr<ChildProcess> StartProgram() {
    return std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/env", "-C", folder_.path(), "-u", "DISPLAY", "-u",
        "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kProgram});
  }

  // mbpoll's output for ten holding registers of `unit`.
  std::string ReadRegisters(int unit) {
    ChildProcess mbpoll({"/usr/bin/mbpoll", "-m", "tcp", "-a", std::to_string(unit),
                         "-p", std::to_string(config_.tcp_port), "-t", "4", "-r",
                         "1", "-c", "10", "-1", "127.0.0.1"});
    std::string output, line;
    while (mbpoll.ReadLine(line, 30000)) output += line + "\n";
    EXPECT_EQ(mbpoll.Wait(30000), 0) << output;
    return output;
  }

  TempDir folder_;
  PortsFolder ports_;
  PtyPort com1_{ports_, 1};
  Config config_;
};

TEST_F(ProgramEndToEnd, ServesRegistersWithoutADisplayAndEndsCleanlyOnSigterm) {
  config_.run_server = true;
  config_.unit_list = "7";
  WriteConfig(folder_, config_);
  auto device = StartDevice(7);
  auto program = StartProgram();

  // The start's log line comes once the window has shown (offscreen).
  std::string log, line;
  ASSERT_TRUE(program->ReadLine(line, 60000)) << "no log line";
  log += line + "\n";
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - ")
                  .match(QString::fromStdString(line))
                  .hasMatch())
      << line;
  const int client = ConnectLoopback(config_.tcp_port);
  ASSERT_GE(client, 0) << log;
  close(client);

  const std::string registers = ReadRegisters(7);
  for (int k = 0; k < 10; ++k) {
    const QRegularExpression value(QString("\\[%1\\]:\\s+%2\\b").arg(k + 1).arg(7000 + k));
    EXPECT_TRUE(value.match(QString::fromStdString(registers)).hasMatch()) << registers;
  }

  // SIGTERM closes the program as its window's close would: the gateway
  // stops, and the program ends normally.
  EXPECT_EQ(program->Terminate(), 0);
  while (program->ReadLine(line, 1000)) log += line + "\n";
  EXPECT_LT(ConnectLoopback(config_.tcp_port), 0) << "still listening";
  // The device is still there: the gateway let its port go cleanly.
  EXPECT_TRUE(device->IsRunning());
}

}  // namespace
