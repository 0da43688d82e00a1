#include "tests/support/forked_child.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

namespace {

std::string Failed(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

// In the child: runs the work and hands its text to the parent. The child
// ends here without running the test program's exit handlers.
[[noreturn]] void AnswerAndExit(const std::function<std::string()>& work, int answer_fd) {
  std::string answer;
  try {
    answer = work();
  } catch (const std::exception& thrown) {
    answer = std::string("the work threw: ") + thrown.what();
  }
  for (std::size_t sent = 0; sent < answer.size();) {
    const ssize_t written = ::write(answer_fd, answer.data() + sent, answer.size() - sent);
    if (written < 0 && errno != EINTR) ::_exit(1);
    if (written > 0) sent += static_cast<std::size_t>(written);
  }
  ::_exit(0);
}

std::string ReadToEnd(int fd) {
  std::string text;
  char chunk[256];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return text;
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::string InForkedChild(const std::function<std::string()>& work) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return Failed("pipe2");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    AnswerAndExit(work, pipe_fds[1]);
  }
  ::close(pipe_fds[1]);
  if (pid < 0) {
    ::close(pipe_fds[0]);
    return Failed("fork");
  }
  const std::string answer = ReadToEnd(pipe_fds[0]);
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return answer;
  return "the child ended with status " + std::to_string(status) + " after: " + answer;
}

std::string BecomeUser(const UserIds& user) {
  if (::setgroups(user.groups.size(), user.groups.data()) != 0) return Failed("setgroups");
  if (::setgid(user.gid) != 0) return Failed("setgid");
  if (::setuid(user.uid) != 0) return Failed("setuid");
  return "";
}
