// The program's size while a remote client drives its log: the real
// quorvelin program, windowless, serves one port; a client connects, asks
// for a unit that no port serves and closes, again and again. Each cycle
// adds log lines, so a log view without a bound would grow with every
// one. Prints the resident size at checkpoints up to the last cycle.
//
//   program_size_bench [--cycles N]
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kProgram = std::string(QV_BINARY_DIR) + "/ui/quorvelin";
constexpr std::uint8_t kUnservedUnit = 200;

void WriteConfiguration(const TempDir& folder, int tcp_port) {
  std::ostringstream ini;
  ini << "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=" << tcp_port
      << "\nIP=127.0.0.1\nTxTimeout=1000\nRxTimeout=60000\nSerialPorts=COM1"
      << "\nMaxConnections=64\n[SystemStart]\nRunServer=true\n"
      << "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n[COM1]\nBaudrate=9600\n"
      << "Parity=none\nByteSize=8\nStopBits=1\nSlaveAddrList=1\nRtsDelay=0\n"
      << "TxTimeout=500\nRxTimeout=500\n";
  folder.Write("Quorvelin.ini", ini.str());
  folder.CopyConfig("ErrorMsg_EN.ini");
}

// VmRSS of the process in KiB, or -1.
long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// The program's log lines, counted as it prints them.
class LineCounter {
 public:
  explicit LineCounter(ChildProcess& program)
      : thread_([this, &program] {
          std::string line;
          while (!stop_) {
            if (program.ReadLine(line, 100)) ++count_;
          }
        }) {}
  ~LineCounter() {
    stop_ = true;
    thread_.join();
  }
  long Count() const { return count_; }
  // Waits until no line has come for a while: the view has caught up.
  void WaitForQuiet() const {
    long before = -1;
    while (before != count_) {
      before = count_;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> count_{0};
  std::thread thread_;
};

// Connect, one request for a unit nobody serves, close; then wait until
// the gateway has closed its end. Cycles that overtook the gateway would
// fill its short listen queue and wait out the system's SYN retransmission
// instead of measuring the log. False when the cycle failed.
bool Cycle(int tcp_port, std::uint16_t transaction) {
  const int fd = ConnectLoopback(tcp_port);
  if (fd < 0) return false;
  const timeval limit{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const std::string request = ReadRegister(transaction, kUnservedUnit, 0);
  bool done = write(fd, request.data(), request.size()) ==
                  static_cast<ssize_t>(request.size()) &&
              shutdown(fd, SHUT_WR) == 0;
  char byte;
  done = done && read(fd, &byte, 1) == 0;  // no reply, only the close
  close(fd);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  long cycles = 100000;
  if (argc == 3 && std::strcmp(argv[1], "--cycles") == 0) {
    cycles = std::atol(argv[2]);
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: program_size_bench [--cycles N]\n");
    return 2;
  }
  if (cycles < 1000 || access(kProgram.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "program_size_bench: needs %s and 1000 cycles or more\n",
                 kProgram.c_str());
    return 2;
  }
  TempDir folder;
  PortsFolder ports;
  PtyPort com1(ports, 1);
  const int tcp_port = FreeLoopbackPort();
  WriteConfiguration(folder, tcp_port);
  ChildProcess program({"/usr/bin/env", "-C", folder.path(),
                        "QT_QPA_PLATFORM=offscreen", kProgram});
  LineCounter lines(program);
  // The first line is the server's start.
  for (int i = 0; i < 100 && lines.Count() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (!com1.IsReady() || lines.Count() == 0) {
    std::fprintf(stderr, "program_size_bench: the program did not start\n");
    return 1;
  }

  std::printf("Resident size of the program while clients drive its log\n"
              "(each cycle: connect, request unit %u that no port serves, close)\n\n",
              kUnservedUnit);
  std::printf("%9s %12s %10s\n", "cycles", "lines shown", "RSS MiB");
  std::vector<long> checkpoints = {1000, 5000, 10000, 25000, 50000, cycles};
  long failed = 0, done = 0;
  double first_mib = 0, last_mib = 0;
  for (long checkpoint : checkpoints) {
    if (checkpoint > cycles) break;
    for (; done < checkpoint; ++done) {
      if (!Cycle(tcp_port, static_cast<std::uint16_t>(done))) ++failed;
    }
    lines.WaitForQuiet();
    const double mib = ResidentKiB(program.Pid()) / 1024.0;
    if (checkpoint == checkpoints.front()) first_mib = mib;
    last_mib = mib;
    std::printf("%9ld %12ld %10.1f\n", done, lines.Count(), mib);
    std::fflush(stdout);
    if (done == cycles) break;
  }
  std::printf("\nafter %ld cycles against after %ld: %+.1f MiB", cycles,
              checkpoints.front(), last_mib - first_mib);
  if (failed > 0) std::printf(" (%ld connections failed)", failed);
  std::printf("\n");
  return 0;
}
