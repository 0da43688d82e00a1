#pragma once
// A program started by a test, ended by its own process id when the test
// is done. Its standard output can be read line by line.
#include <string>
#include <vector>

#include <sys/types.h>

class ChildProcess {
 public:
  // Starts `argv[0]` (a path) with the arguments, as a shell starts a
  // program: a closed pipe and the file-size limit end it unless it sees
  // to them itself, whatever this process does. `inherit_fd`, when not
  // -1, is handed to the child as its descriptor 3; `error_file`, when not
  // empty, is made its standard error.
  ChildProcess(const std::vector<std::string>& argv, int inherit_fd = -1,
               const std::string& error_file = "");
  // Ends the child with SIGTERM (SIGKILL if it does not end in 5 s).
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool IsRunning() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Reads one line of the child's output, waiting up to `timeout_ms`.
  bool ReadLine(std::string& line, int timeout_ms);
  // Stops reading the child's output: its next write there finds no
  // reader.
  void CloseOutput();
  // Waits for the child to end by itself; its exit status, or -1.
  int Wait(int timeout_ms);
  // SIGTERM, then the exit status (SIGKILL after 5 s).
  int Terminate();

 private:
  pid_t pid_ = -1;
  int output_fd_ = -1;
  std::string pending_;
};

// A program run to its end: its exit status (-1 when it did not end in
// time) and the lines it printed.
struct ProgramRun {
  int status = -1;
  std::vector<std::string> lines;
};
ProgramRun RunProgram(const std::vector<std::string>& argv, int timeout_ms);
