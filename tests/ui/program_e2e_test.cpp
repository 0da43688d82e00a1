// The real quorvelin program, as an operator starts it on a server with no
// display: a configuration that starts the gateway at once, a simulated
// RTU device behind COM1, registers read through it with mbpoll, and a
// SIGTERM that closes it cleanly, even while a request sits out the
// longest RTS delay that the configuration allows, or while it ends
// hundreds of clients.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "program_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

using namespace qvtest;

const std::string kProgram = std::string(QV_BINARY_DIR) + "/ui/quorvelin";
const std::string kDevice = std::string(QV_BINARY_DIR) + "/tools/rtu_device";

// Starts the program in `folder` as on a server without a display: it
// picks the offscreen platform itself and writes its log on standard
// output once the window has shown. False when it printed no first line.
// `error_file`, when given, takes its standard error.
bool StartWindowless(const TempDir& folder,
                     std::unique_ptr<ChildProcess>& program,
                     std::string& first_line, const std::string& error_file = "") {
  program = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/bin/env", "-C", folder.path(), "-u", "DISPLAY", "-u",
                               "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kProgram},
      -1, error_file);
  return program->ReadLine(first_line, 60000);
}

// Reads the program's log until a line holds `text`.
bool WaitForOutput(ChildProcess& program, const std::string& text) {
  std::string line;
  while (program.ReadLine(line, 30000)) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

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
  std::unique_ptr<ChildProcess> program;
  ASSERT_TRUE(StartWindowless(folder, program, line)) << "no log line";
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
  EXPECT_EQ(program->Terminate(), 0);
  EXPECT_LT(ConnectLoopback(config.tcp_port), 0) << "still listening";
  // The device is still there: the gateway let its port go cleanly.
  EXPECT_TRUE(device.IsRunning());
}

// A reader of the log that goes away (`| head -n 1`, a log collector that
// restarts) costs the lines it would have read, which the program says
// once on its standard error, never the gateway: clients are served after
// it, and SIGTERM still ends the program cleanly.
TEST(ProgramEndToEnd, AReaderOfItsLogThatGoesAwayCostsLinesNotTheGateway) {
  if (access(kDevice.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << kDevice;
  TempDir folder;
  PortsFolder ports;
  PtyPort com1{ports, 1};
  ASSERT_TRUE(com1.IsReady());
  const Config config{.tcp_port = FreeLoopbackPort(), .unit_list = "7", .run_server = true};
  WriteConfig(folder, config);
  ChildProcess device({kDevice, "--fd", "3", "--unit", "7"}, com1.FarFd());
  std::string line;
  ASSERT_TRUE(device.ReadLine(line, 30000) && line == "ready") << line;
  std::unique_ptr<ChildProcess> program;
  const std::string errors = folder.File("errors.txt");
  ASSERT_TRUE(StartWindowless(folder, program, line, errors)) << "no log line";

  program->CloseOutput();
  for (std::uint16_t t = 0; t < 2; ++t) {
    RawModbusClient client(config.tcp_port);
    EXPECT_EQ(Hex(client.Ask(ReadRegister(t, 7, 3))), Hex(RegisterReply(t, 7, 3)));
  }
  EXPECT_EQ(program->Terminate(), 0);
  const QString said = QString::fromStdString(ReadFile(errors));
  EXPECT_EQ(said.count("a log line could not be written to the standard output (" +
                       QString(std::strerror(EPIPE)) + ")"),
            1)
      << said.toStdString();
}

TEST(ProgramEndToEnd, SigtermEndsItDuringTheLongestRtsDelay) {
  TempDir folder;
  PortsFolder ports;
  PtyPort com1{ports, 1};
  ASSERT_TRUE(com1.IsReady());
  const Config config{.tcp_port = FreeLoopbackPort(), .unit_list = "7",
                      .run_server = true, .rts_delay = "4294967295"};
  WriteConfig(folder, config);
  std::unique_ptr<ChildProcess> program;
  std::string line;
  // Started with the window, before its first line.
  ASSERT_TRUE(StartWindowless(folder, program, line)) << "no log line";

  RawModbusClient client(config.tcp_port);
  ASSERT_TRUE(client.Send(ReadRegister(1, 7, 1)));
  ASSERT_TRUE(WaitForOutput(*program, "client from"));
  // 0 only when it ended by itself, within the 5 s before SIGKILL.
  EXPECT_EQ(program->Terminate(), 0);
  EXPECT_EQ(com1.ReadFar(1, 100), "") << "the request went out after all";
  // Every line logged on the way out reaches the output: the client's end
  // and the stop's, without a failure of the write that never began.
  std::vector<std::string> last_lines;
  while (program->ReadLine(line, 5000)) last_lines.push_back(line.substr(11));
  const std::vector<std::string> expected = {
      "client 127.0.0.1 closed the connection", "stop server successful"};
  EXPECT_EQ(last_lines, expected);
}

// The stop waits on the main thread for every client's end, long after the
// log queue's 64 lines would have filled: each client's line and the
// stop's own still reach the output, the stop's last.
TEST(ProgramEndToEnd, SigtermWithThreeHundredClientsPrintsEachOnesEndThenTheStop) {
  constexpr int kClients = 300;
  TempDir folder;
  PortsFolder ports;
  PtyPort com1{ports, 1};
  ASSERT_TRUE(com1.IsReady());
  const Config config{.tcp_port = FreeLoopbackPort(), .unit_list = "7",
                      .run_server = true, .max_connections = kClients};
  WriteConfig(folder, config);
  std::unique_ptr<ChildProcess> program;
  std::string line;
  ASSERT_TRUE(StartWindowless(folder, program, line)) << "no log line";
  IdleClients clients;
  int logged = 0;  // "client from" lines read
  ASSERT_TRUE(ConnectIdleClients(config.tcp_port, kClients, clients, [&](int connected) {
    for (; logged < connected; ++logged) {
      if (!WaitForOutput(*program, "client from")) return false;
    }
    return true;
  }));

  EXPECT_EQ(program->Terminate(), 0);
  std::vector<std::string> stop_lines;
  while (program->ReadLine(line, 5000)) stop_lines.push_back(line.substr(11));
  EXPECT_EQ(std::count(stop_lines.begin(), stop_lines.end(),
                       "client 127.0.0.1 closed the connection"),
            kClients);
  ASSERT_EQ(stop_lines.size(), kClients + 1u);
  EXPECT_EQ(stop_lines.back(), "stop server successful");
}

}  // namespace
