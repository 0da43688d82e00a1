#pragma once
// The benchmark's clients. Each reads the registers of one unit, one
// request at a time: through the gateway on its own TCP connection, or
// straight to the device on the device's serial line, which the clients of
// one line take in turn, in the order they asked, as the gateway's port
// lock makes them do.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class RegisterReader {
 public:
  virtual ~RegisterReader() = default;
  // One request and its reply; false when the reply did not come or was
  // not the right one. The reader is ready for the next request either way.
  virtual bool ReadOnce() = 0;
};

// A Modbus TCP client on its own connection to 127.0.0.1:port.
class TcpRegisterReader final : public RegisterReader {
 public:
  TcpRegisterReader(int port, std::uint8_t unit);
  ~TcpRegisterReader() override;
  bool IsConnected() const { return fd_ >= 0; }
  bool ReadOnce() override;

 private:
  void Connect();

  int port_;
  std::uint8_t unit_;
  int fd_ = -1;
  std::uint16_t transaction_id_ = 0;
};

// First come, first served: the lock goes straight to the longest waiter.
class TurnLock {
 public:
  void lock();
  void unlock();

 private:
  struct Turn {
    std::condition_variable granted;
    bool is_mine = false;
  };
  std::mutex mutex_;
  bool busy_ = false;
  std::deque<Turn*> waiting_;
};

// A serial line (the terminal side of a pseudo-terminal) shared by the
// direct clients of its device.
class SharedRtuLine {
 public:
  explicit SharedRtuLine(const std::string& path);
  ~SharedRtuLine();
  SharedRtuLine(const SharedRtuLine&) = delete;
  SharedRtuLine& operator=(const SharedRtuLine&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  TurnLock& Turns() { return turns_; }

 private:
  int fd_ = -1;
  TurnLock turns_;
};

// A Modbus RTU master on a shared line.
class RtuRegisterReader final : public RegisterReader {
 public:
  RtuRegisterReader(SharedRtuLine& line, std::uint8_t unit)
      : line_(line), unit_(unit) {}
  bool ReadOnce() override;

 private:
  SharedRtuLine& line_;
  std::uint8_t unit_;
};
