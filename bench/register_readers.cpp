#include "bench/register_readers.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "bench/read_frames.h"
#include "tests/support/loopback_sockets.h"

namespace {

// Every wait for a reply ends after this long: a reply that takes longer
// counts as lost.
constexpr int kReplyTimeoutSeconds = 5;

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// Blocking reads, each bounded by the descriptor's own time-out (the
// socket's receive time-out, the terminal's VTIME): one system call per
// piece of the reply, as a lean client would make.
bool ReadExactly(int fd, std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t got = read(fd, bytes, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // time-out, closed or failed
    bytes += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

TcpRegisterReader::TcpRegisterReader(int port, std::uint8_t unit)
    : port_(port), unit_(unit) {
  Connect();
}

TcpRegisterReader::~TcpRegisterReader() {
  if (fd_ >= 0) close(fd_);
}

void TcpRegisterReader::Connect() {
  if (fd_ >= 0) close(fd_);
  fd_ = ConnectLoopback(port_);
  if (fd_ < 0) return;
  const int on = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const timeval limit{kReplyTimeoutSeconds, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool TcpRegisterReader::ReadOnce() {
  if (fd_ < 0) {
    Connect();
    if (fd_ < 0) return false;
  }
  std::uint8_t request[kTcpRequestSize];
  std::uint8_t reply[kTcpReplySize];
  ++transaction_id_;
  BuildTcpRead(request, transaction_id_, unit_);
  if (WriteAll(fd_, request, sizeof request) &&
      ReadExactly(fd_, reply, sizeof reply) &&
      IsTcpReadReply(reply, transaction_id_, unit_)) {
    return true;
  }
  // The stream may be out of step now: start again on a new connection.
  Connect();
  return false;
}

void TurnLock::lock() {
  std::unique_lock<std::mutex> guard(mutex_);
  if (!busy_) {
    busy_ = true;
    return;
  }
  Turn turn;
  waiting_.push_back(&turn);
  turn.granted.wait(guard, [&] { return turn.is_mine; });
}

void TurnLock::unlock() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (waiting_.empty()) {
    busy_ = false;
    return;
  }
  Turn* next = waiting_.front();
  waiting_.pop_front();
  next->is_mine = true;  // handed over: the lock stays busy
  next->granted.notify_one();
}

SharedRtuLine::SharedRtuLine(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  termios line{};
  tcgetattr(fd_, &line);
  cfmakeraw(&line);
  line.c_cc[VMIN] = 0;  // a read returns what came, or nothing after VTIME
  line.c_cc[VTIME] = 10 * kReplyTimeoutSeconds;
  tcsetattr(fd_, TCSANOW, &line);
  tcflush(fd_, TCIOFLUSH);
}

SharedRtuLine::~SharedRtuLine() {
  if (fd_ >= 0) close(fd_);
}

bool RtuRegisterReader::ReadOnce() {
  std::uint8_t request[kRtuRequestSize];
  std::uint8_t reply[kRtuReplySize];
  BuildRtuRead(request, unit_);
  std::lock_guard<TurnLock> turn(line_.Turns());
  if (WriteAll(line_.Fd(), request, sizeof request) &&
      ReadExactly(line_.Fd(), reply, sizeof reply) &&
      IsRtuReadReply(reply, unit_)) {
    return true;
  }
  // Whatever else arrives belongs to no request.
  usleep(10000);
  tcflush(line_.Fd(), TCIFLUSH);
  return false;
}
