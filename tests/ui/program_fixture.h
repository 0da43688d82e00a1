#pragma once
// The real window program inside a test: a temporary folder as the
// current directory with a configuration file and the error texts, COM1 on
// a pseudo-terminal, and the program's application object, global objects
// and forms built as its entry builds them.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <QToolButton>

#include "common/message_fifo.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"
#include "ui/about_dlg.h"
#include "ui/complib/application.h"
#include "ui/main_form.h"
#include "ui/main_unit.h"
#include "ui/program_globals.h"
#include "ui_test_support.h"

namespace qvtest {

// A free TCP port on 127.0.0.1 (bound once with port 0, then released).
inline int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
inline void WriteConfig(const TempDir& folder, const Config& config) {
  std::ofstream ini(folder.File("Quorvelin.ini"), std::ios::trunc);
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
  folder.CopyConfig("ErrorMsg_EN.ini");
}

// The program, from its global objects to its forms, in a test folder.
// The current directory is a fresh folder with the configuration; COM1 is
// a pseudo-terminal whose device end the test holds.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { config_.tcp_port = FreeTcpPort(); }
  void TearDown() override { EndProgram(); }

  // What the program does before its event loop: the application object,
  // every global object, the title and the forms.
  void StartProgram() {
    WriteConfig(folder_, config_);
    app_ = std::make_unique<TApplication>(argc_, argv_);
    BuildProgramGlobals();
    globals_built_ = true;
    Application->Initialize();
    Application->SetTitle("Quorvelin");
    Application->CreateForm(MainForm);
    Application->CreateForm(AboutDlg);
  }

  // Closes the window if it is still open (stopping a running gateway)
  // and destroys everything in the program's order. Without
  // `close_window`, as when an exception ended the event loop.
  void EndProgram(bool close_window = true) {
    if (!app_) return;
    if (close_window && MainForm != nullptr && MainForm->isVisible()) {
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

  TempDir folder_;
  ScopedChdir in_folder_{folder_.path()};
  PortsFolder ports_;
  PtyPort com1_{ports_, 1};
  Config config_;
  std::unique_ptr<TApplication> app_;

 private:
  bool globals_built_ = false;
  int argc_ = 1;
  char name_[16] = "quorvelin";
  char* argv_[2] = {name_, nullptr};
};

}  // namespace qvtest
