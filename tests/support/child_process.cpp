#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/support/deadline.h"

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           int inherit_fd, const std::string& error_file) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  if (inherit_fd >= 0) posix_spawn_file_actions_adddup2(&actions, inherit_fd, 3);
  if (!error_file.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // An ignored signal would stay ignored in the child.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ) == 0) {
    pid_ = pid;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  output_fd_ = pipe_fds[0];
}

ChildProcess::~ChildProcess() {
  Terminate();
  if (output_fd_ >= 0) close(output_fd_);
}

bool ChildProcess::ReadLine(std::string& line, int timeout_ms) {
  const Deadline deadline(timeout_ms);
  for (;;) {
    const auto newline = pending_.find('\n');
    if (newline != std::string::npos) {
      line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return true;
    }
    if (deadline.Passed() || output_fd_ < 0) return false;
    pollfd readable{output_fd_, POLLIN, 0};
    if (poll(&readable, 1, deadline.Left()) <= 0) continue;
    char chunk[256];
    const ssize_t got = read(output_fd_, chunk, sizeof chunk);
    if (got <= 0) return false;
    pending_.append(chunk, static_cast<std::size_t>(got));
  }
}

void ChildProcess::CloseOutput() {
  if (output_fd_ >= 0) close(output_fd_);
  output_fd_ = -1;
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  const Deadline deadline(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (done < 0 || deadline.Passed()) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ChildProcess::Terminate() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const int status = Wait(5000);
  if (status != -1 || pid_ <= 0) return status;
  kill(pid_, SIGKILL);
  return Wait(5000);
}

ProgramRun RunProgram(const std::vector<std::string>& argv, int timeout_ms) {
  const Deadline deadline(timeout_ms);
  ProgramRun run;
  ChildProcess program(argv);
  std::string line;
  while (program.ReadLine(line, deadline.Left())) run.lines.push_back(line);
  run.status = program.Wait(deadline.Left());
  return run;
}
