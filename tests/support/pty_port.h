#pragma once
// Serial lines for tests, made of pseudo-terminal pairs: PtyPort(ports, 3)
// is COM3, linked in the folder that QUORVELIN_PORTS names. The far end is
// the pair's master, a non-blocking descriptor that a test or a simulated
// device reads and writes; bytes pass at once, with no modem lines. Both
// objects change the process environment: build them before threads.
#include <cstddef>
#include <string>
#include <string_view>

class PortsFolder {
 public:
  // Creates a unique temporary folder and points QUORVELIN_PORTS at it.
  PortsFolder();
  // Restores the former value of QUORVELIN_PORTS and removes the folder.
  ~PortsFolder();
  PortsFolder(const PortsFolder&) = delete;
  PortsFolder& operator=(const PortsFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Makes the entry `name` a symbolic link to `target` (which need not
  // exist). False when the link cannot be made.
  bool Link(const std::string& name, const std::string& target) const;

 private:
  std::string path_;
  bool had_former_value_ = false;
  std::string former_value_;
};

class PtyPort {
 public:
  // A new pair, in raw mode, linked as COM<number> in `folder`.
  PtyPort(const PortsFolder& folder, unsigned number);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // False when the pair or its link could not be made (the reason is
  // reported as a test failure).
  bool IsReady() const { return far_fd_ >= 0 && !device_path_.empty(); }
  unsigned Number() const { return number_; }
  std::string Name() const { return "COM" + std::to_string(number_); }
  const std::string& DevicePath() const { return device_path_; }

  // The far end; -1 once closed.
  int FarFd() const { return far_fd_; }
  // Writes all bytes to the far end, waiting up to 10 s for room.
  bool WriteFar(std::string_view bytes);
  // A literal goes whole, zero bytes included ("\x01\x00\x05" is three
  // bytes), where a conversion to string_view would stop at the first zero.
  template <std::size_t N>
  bool WriteFar(const char (&literal)[N]) {
    return WriteFar(std::string_view(literal, N - 1));
  }
  // Bytes from the far end, until `count` came or `timeout_ms` passed.
  std::string ReadFar(std::size_t count, int timeout_ms);
  // Closes the far end: to the gateway's end the device has gone.
  void CloseFar();

  // Waits up to `timeout_ms` until at least `count` bytes are queued at the
  // gateway's end (bytes written to the far end arrive a moment later).
  bool WaitUntilQueuedAtGateway(std::size_t count, int timeout_ms) const;
  // Waits up to `timeout_ms` until the gateway has read every byte that
  // reached its end.
  bool WaitUntilReadByGateway(int timeout_ms) const;

 private:
  unsigned number_;
  int far_fd_ = -1;
  // The fixture keeps the terminal side open itself, so that the line stays
  // up while the gateway's end is closed (a master with no terminal side
  // open reports a hang-up) and so that it can look at its input queue.
  int keeper_fd_ = -1;
  std::string device_path_;
};
