#include "ui/complib/termination_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// The self-pipe: the handler may only write a byte; the event loop reads it.
int pipe_fds[2] = {-1, -1};
struct sigaction previous[kSignalCount];

void OnSignal(int signal_number) {
  const int saved_errno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] ssize_t ignored = write(pipe_fds[1], &byte, 1);
  errno = saved_errno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this,
          &TerminationSignals::ReadPipe);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kSignalCount; ++i)
    sigaction(kSignals[i], &action, &previous[i]);
}

TerminationSignals::~TerminationSignals() {
  if (notifier_ == nullptr) return;
  for (int i = 0; i < kSignalCount; ++i)
    sigaction(kSignals[i], &previous[i], nullptr);
  delete notifier_;
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  pipe_fds[0] = pipe_fds[1] = -1;
}

void TerminationSignals::ReadPipe() {
  unsigned char byte = 0;
  while (read(pipe_fds[0], &byte, 1) == 1) emit Received(byte);
}
