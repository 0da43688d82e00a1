#include "tests/support/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/deadline.h"

static constexpr char kPortsVariable[] = "QUORVELIN_PORTS";

PortsFolder::PortsFolder() {
  if (const char* former = std::getenv(kPortsVariable)) {
    had_former_value_ = true;
    former_value_ = former;
  }
  std::string pattern =
      (std::filesystem::temp_directory_path() / "qv-ports-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    return;
  }
  path_ = pattern;
  setenv(kPortsVariable, path_.c_str(), 1);
}

PortsFolder::~PortsFolder() {
  if (had_former_value_) {
    setenv(kPortsVariable, former_value_.c_str(), 1);
  } else {
    unsetenv(kPortsVariable);
  }
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

bool PortsFolder::Link(const std::string& name,
                       const std::string& target) const {
  const std::string entry = path_ + "/" + name;
  unlink(entry.c_str());
  if (symlink(target.c_str(), entry.c_str()) == 0) return true;
  ADD_FAILURE() << "symlink " << entry << ": " << std::strerror(errno);
  return false;
}

PtyPort::PtyPort(const PortsFolder& folder, unsigned number) : number_(number) {
  termios raw{};
  cfmakeraw(&raw);
  cfsetspeed(&raw, B9600);
  char name[128];
  if (openpty(&far_fd_, &keeper_fd_, name, &raw, nullptr) != 0) {
    ADD_FAILURE() << "openpty: " << std::strerror(errno);
    far_fd_ = keeper_fd_ = -1;
    return;
  }
  fcntl(far_fd_, F_SETFD, FD_CLOEXEC);
  fcntl(keeper_fd_, F_SETFD, FD_CLOEXEC);
  fcntl(far_fd_, F_SETFL, fcntl(far_fd_, F_GETFL) | O_NONBLOCK);
  if (folder.Link(Name(), name)) device_path_ = name;
}

PtyPort::~PtyPort() {
  CloseFar();
  if (keeper_fd_ >= 0) close(keeper_fd_);
}

bool PtyPort::WriteFar(std::string_view bytes) {
  const Deadline deadline(10000);
  while (!bytes.empty()) {
    const ssize_t written = write(far_fd_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd entry{far_fd_, POLLOUT, 0};
    if (poll(&entry, 1, deadline.Left()) == 0) return false;
  }
  return true;
}

std::string PtyPort::ReadFar(std::size_t count, int timeout_ms) {
  const Deadline deadline(timeout_ms);
  std::string received;
  char chunk[4096];
  while (received.size() < count && far_fd_ >= 0) {
    const std::size_t wanted = std::min(sizeof chunk, count - received.size());
    const ssize_t got = read(far_fd_, chunk, wanted);
    if (got > 0) {
      received.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) break;
    if (deadline.Passed()) break;
    pollfd entry{far_fd_, POLLIN, 0};
    poll(&entry, 1, deadline.Left());
  }
  return received;
}

void PtyPort::CloseFar() {
  if (far_fd_ < 0) return;
  close(far_fd_);
  far_fd_ = -1;
}

bool PtyPort::WaitUntilQueuedAtGateway(std::size_t count,
                                       int timeout_ms) const {
  return WaitUntil(
      [&] {
        int queued = 0;
        return ioctl(keeper_fd_, TIOCINQ, &queued) == 0 &&
               static_cast<std::size_t>(queued) >= count;
      },
      std::chrono::milliseconds(timeout_ms));
}

bool PtyPort::WaitUntilReadByGateway(int timeout_ms) const {
  // Bytes written to the far end reach the terminal's input queue a moment
  // later, and are not counted until they do; poll() on the terminal side
  // first moves in whatever is on its way, so an empty answer means read.
  return WaitUntil(
      [&] {
        pollfd input{keeper_fd_, POLLIN, 0};
        return poll(&input, 1, 0) == 0;
      },
      std::chrono::milliseconds(timeout_ms));
}
