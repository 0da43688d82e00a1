// The real quorvelin program, as an operator starts it on a server with no
// display: a configuration that starts the gateway at once, a simulated
// RTU device behind ports/COM1, registers read through it with mbpoll, and
// a SIGTERM that closes it cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "process_support.h"
#include "program_fixture.h"

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
  }

  void TearDown() override {
    for (pid_t pid : {program_, device_}) {
      if (pid > 0) {
        kill(pid, SIGKILL);
        WaitChild(pid);
      }
    }
  }

  std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }

  // The device on the far end of ports/COM1.
  void StartDevice(int unit) {
    PtyLine line(folder_.path(), "COM1");
    const int device_end = line.Release();
    ChildOptions options;
    options.output_file = Path("device.log");
    options.inherit_fd = device_end;
    device_ = StartChild({kDevice, "--fd", "3", "--unit", std::to_string(unit)}, options);
    close(device_end);
    ASSERT_GT(device_, 0);
    ASSERT_TRUE(PollUntil([&] { return ReadFile(Path("device.log")).find("ready") != std::string::npos; }));
  }

  // The program as run with no display at all: it picks the offscreen
  // platform itself and writes its log to the standard output.
  void StartProgram() {
    ChildOptions options;
    options.directory = folder_.path();
    options.output_file = Path("program.log");
    options.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUORVELIN_PORTS"};
    program_ = StartChild({kProgram}, options);
    ASSERT_GT(program_, 0);
  }

  std::string ReadRegisters(int unit) {
    ChildOptions options;
    options.output_file = Path("mbpoll.out");
    RunToEnd({"/usr/bin/mbpoll", "-m", "tcp", "-a", std::to_string(unit), "-p",
              std::to_string(config_.tcp_port), "-t", "4", "-r", "1", "-c", "10",
              "-1", "127.0.0.1"},
             options);
    return ReadFile(Path("mbpoll.out"));
  }

  TempFolder folder_;
  Config config_;
  pid_t program_ = -1;
  pid_t device_ = -1;
};

TEST_F(ProgramEndToEnd, ServesRegistersWithoutADisplayAndEndsCleanlyOnSigterm) {
  config_.tcp_port = FreeTcpPort();
  config_.run_server = true;
  config_.unit_list = "7";
  WriteConfig(folder_.path(), config_);
  StartDevice(7);
  StartProgram();

  ASSERT_TRUE(PollUntil([&] {
    const int client = ConnectTo(config_.tcp_port);
    if (client >= 0) close(client);
    return client >= 0 || !ChildRunning(program_);
  }));
  ASSERT_TRUE(ChildRunning(program_)) << ReadFile(Path("program.log"));

  const std::string registers = ReadRegisters(7);
  for (int k = 0; k < 10; ++k) {
    const std::regex value("\\[" + std::to_string(k + 1) + "\\]:\\s+" +
                           std::to_string(7000 + k) + "\\b");
    EXPECT_TRUE(std::regex_search(registers, value)) << registers;
  }

  ASSERT_EQ(kill(program_, SIGTERM), 0);
  const int status = WaitChild(program_);
  program_ = -1;
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n"
                                 << ReadFile(Path("program.log"));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(Path("program.log"));
  // Nothing listens any more.
  EXPECT_LT(ConnectTo(config_.tcp_port), 0);
  // The log went to the standard output, time-stamped.
  const std::string log = ReadFile(Path("program.log"));
  EXPECT_TRUE(std::regex_search(log, std::regex("\\d\\d:\\d\\d:\\d\\d - "))) << log;
}

}  // namespace
