#pragma once
// Child processes for the tests that run real programs: started with
// fork and exec, their output in a file, ended by signal and reaped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qvtest {

struct ChildOptions {
  std::string directory;          // empty: the test's own
  std::string output_file;        // standard output and error; empty: ours
  std::vector<std::string> unset;  // variables removed from the environment
  std::vector<std::string> set;    // NAME=value added
  int inherit_fd = -1;            // passed on as descriptor 3
};

// Starts `argv[0]` (a path) with `argv`; the process id, or -1.
inline pid_t StartChild(const std::vector<std::string>& argv,
                        const ChildOptions& options = {}) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool drop = false;
    for (const std::string& name : options.unset)
      drop = drop || text.rfind(name + "=", 0) == 0;
    for (const std::string& added : options.set)
      drop = drop || text.rfind(added.substr(0, added.find('=') + 1), 0) == 0;
    if (!drop) env.push_back(text);
  }
  env.insert(env.end(), options.set.begin(), options.set.end());

  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: only async-signal-safe work up to exec.
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
    _exit(126);
  if (!options.output_file.empty()) {
    const int out = open(options.output_file.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    close(out);
  }
  if (options.inherit_fd >= 0) dup2(options.inherit_fd, 3);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  execve(args[0], args.data(), envp.data());
  _exit(127);
}

// Waits for the child's end; its wait status, or -1 when it has not ended
// within the (generous) bound, in which case it is killed.
inline int WaitChild(pid_t pid, std::chrono::seconds bound = std::chrono::seconds(60)) {
  const auto until = std::chrono::steady_clock::now() + bound;
  int status = 0;
  while (std::chrono::steady_clock::now() < until) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// True while the child has not ended (it is not reaped here).
inline bool ChildRunning(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

// Runs a program to its end; its exit code, or -1.
inline int RunToEnd(const std::vector<std::string>& argv, const ChildOptions& options) {
  const pid_t pid = StartChild(argv, options);
  if (pid < 0) return -1;
  const int status = WaitChild(pid);
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits until `condition` holds, polling; false after the bound.
template <class Condition>
bool PollUntil(Condition condition, std::chrono::seconds bound = std::chrono::seconds(30)) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (std::chrono::steady_clock::now() < until) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

}  // namespace qvtest
