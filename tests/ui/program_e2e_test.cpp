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

TEST(ProgramEndToEnd, ServesRegistersWithoutADisplayAndEndsCleanlyOnSigterm) {
  if (access(kDevice.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << kDevice;
  if (access("/usr/bin/mbpoll", X_OK) != 0) GTEST_SKIP() << "no mbpoll";
  ASSERT_EQ(access(kProgram.c_str(), X_OK), 0) << kProgram;
  TempDir folder;
  PortsFolder ports;
  PtyPort com1{ports, 1};
  ASSERT_TRUE(com1.IsReady());
  const Config config{.tcp_port = FreeLoopbackPort(), .unit_list = "7",
                      .run_server = true};
  WriteConfig(folder, config);

  // The device serves the far end of COM1.
  ChildProcess device({kDevice, "--fd", "3", "--unit", "7"}, com1.FarFd());
  std::string line;
  ASSERT_TRUE(device.ReadLine(line, 30000) && line == "ready") << line;
  // With no display the program picks the offscreen platform itself and
  // writes its log on standard output, once the window has shown.
  ChildProcess program({"/usr/bin/env", "-C", folder.path(), "-u", "DISPLAY",
                        "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kProgram});
  ASSERT_TRUE(program.ReadLine(line, 60000)) << "no log line";
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - ")
                  .match(QString::fromStdString(line))
                  .hasMatch())
      << line;

  const std::string port = std::to_string(config.tcp_port);
  ChildProcess mbpoll({"/usr/bin/mbpoll", "-m", "tcp", "-a", "7", "-p", port,
                       "-t", "4", "-r", "1", "-c", "10", "-1", "127.0.0.1"});
  std::string registers;
  while (mbpoll.ReadLine(line, 30000)) registers += line + "\n";
  EXPECT_EQ(mbpoll.Wait(30000), 0) << registers;
  for (int k = 0; k < 10; ++k) {
    const QRegularExpression value(QString("\\[%1\\]:\\s+%2\\b").arg(k + 1).arg(7000 + k));
    EXPECT_TRUE(value.match(QString::fromStdString(registers)).hasMatch()) << registers;
  }

  // SIGTERM closes the program as its window's close would: the gateway
  // stops, and the program ends normally.
  EXPECT_EQ(program.Terminate(), 0);
  EXPECT_LT(ConnectLoopback(config.tcp_port), 0) << "still listening";
  // The device is still there: the gateway let its port go cleanly.
  EXPECT_TRUE(device.IsRunning());
}

}  // namespace
