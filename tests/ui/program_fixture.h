#pragma once
// The real window program inside a test: a temporary folder as the
// current directory with a configuration file and the error texts, serial
// ports on pseudo-terminals linked as ports/COMn, and the program's
// application object, global objects and forms built as its entry builds
// them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QToolButton>

#include "common/message_fifo.h"
#include "ui/about_dlg.h"
#include "ui/complib/application.h"
#include "ui/main_form.h"
#include "ui/main_unit.h"
#include "ui/program_globals.h"
#include "ui_test_support.h"

namespace qvtest {

// A free TCP port on 127.0.0.1 (bound once with port 0, then released).
inline int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// A connected client socket to 127.0.0.1:port, or -1.
inline int ConnectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A unique folder below the test's temporary directory, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "qv_ui_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp";
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A pseudo-terminal whose gateway end is reachable as <folder>/ports/COMn.
// The test holds the other end (the device side), or hands it to a device.
class PtyLine {
 public:
  PtyLine(const std::string& folder, const std::string& name) {
    int slave = -1;
    char slave_name[128] = {};
    if (openpty(&master_, &slave, slave_name, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty";
      return;
    }
    close(slave);  // the gateway opens it by name
    std::filesystem::create_directories(folder + "/ports");
    std::filesystem::create_symlink(slave_name, folder + "/ports/" + name);
  }
  ~PtyLine() {
    if (master_ >= 0) close(master_);
  }
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  int master() const { return master_; }
  // Gives the device end away (to a child process); the caller closes it.
  int Release() {
    const int fd = master_;
    master_ = -1;
    return fd;
  }

 private:
  int master_ = -1;
};

struct Config {
  int tcp_port = 0;
  std::string ip = "127.0.0.1";
  std::string serial_ports = "COM1";
  std::string unit_list = "1-10";
  bool run_server = false;
  bool tray_icon = false;
  bool broken = false;  // leaves TCPPort out, so loading fails
};

// Writes Quorvelin.ini for `config` and copies the English error texts.
inline void WriteConfig(const std::string& folder, const Config& config) {
  std::ofstream ini(folder + "/Quorvelin.ini", std::ios::trunc);
  ini << "[ServerInfo]\nErrorMsgDB=EN\n";
  if (!config.broken) ini << "TCPPort=" << config.tcp_port << "\n";
  ini << "IP=" << config.ip << "\nTxTimeout=1000\nRxTimeout=60000\n"
      << "SerialPorts=" << config.serial_ports << "\nMaxConnections=8\n\n"
      << "[SystemStart]\nRunServer=" << (config.run_server ? "true" : "false")
      << "\nTrayIcon=" << (config.tray_icon ? "TRUE" : "false") << "\n\n"
      << "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n\n";
  std::stringstream names(config.serial_ports);
  std::string name;
  while (std::getline(names, name, ',')) {
    ini << "[" << name << "]\nBaudrate=9600\nParity=none\nByteSize=8\n"
        << "StopBits=1\nSlaveAddrList=" << config.unit_list << "\n"
        << "RtsDelay=0\nTxTimeout=500\nRxTimeout=500\n\n";
  }
  std::filesystem::copy_file(
      std::string(QV_SOURCE_DIR) + "/config/ErrorMsg_EN.ini",
      folder + "/ErrorMsg_EN.ini",
      std::filesystem::copy_options::overwrite_existing);
}

// The program, from its global objects to its forms, in a test folder.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    setenv("QUORVELIN_PORTS", (folder_.path() + "/ports").c_str(), 1);
    config_.tcp_port = FreeTcpPort();
  }

  void TearDown() override {
    EndProgram();
    std::filesystem::current_path(old_dir_);
  }

  // What the program does before its event loop: the application object,
  // every global object, the title and the forms.
  void StartProgram() {
    WriteConfig(folder_.path(), config_);
    app_ = std::make_unique<TApplication>(argc_, argv_);
    BuildProgramGlobals();
    globals_built_ = true;
    Application->Initialize();
    Application->SetTitle("Quorvelin");
    Application->CreateForm(MainForm);
    Application->CreateForm(AboutDlg);
  }

  // Closes the window if it is still open (stopping a running gateway)
  // and destroys everything in the program's order.
  void EndProgram() {
    if (!app_) return;
    if (MainForm != nullptr && MainForm->isVisible()) {
      // Stopped first, so that closing asks nothing.
      if (!MainForm->RunBtn->isEnabled()) MainForm->StopBtnClick();
      MainForm->close();
    }
    if (globals_built_) DestroyProgramGlobals();
    globals_built_ = false;
    app_.reset();
    MainForm = nullptr;
    AboutDlg = nullptr;
  }

  QStringList LogLines() const {
    QStringList lines;
    for (int i = 0; i < MainForm->MsgMemo->Lines.Count(); ++i)
      lines << QString::fromStdString(MainForm->MsgMemo->Lines.Strings(i).str());
    return lines;
  }

  // Waits until the log view holds a line containing `text`.
  bool WaitForLogLine(const QString& text) {
    return WaitUntil([&] {
      for (const QString& line : LogLines())
        if (line.contains(text)) return true;
      return false;
    });
  }

  TempFolder folder_;
  Config config_;
  std::unique_ptr<TApplication> app_;

 private:
  std::filesystem::path old_dir_;
  bool globals_built_ = false;
  int argc_ = 1;
  char name_[16] = "quorvelin";
  char* argv_[2] = {name_, nullptr};
};

}  // namespace qvtest
