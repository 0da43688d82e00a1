#pragma once
// TSetting: the gateway's configuration, read from "Quorvelin.ini" in the
// current directory. Load checks every value it needs and stops at the
// first one missing or unusable, with a negative code and a text for the
// operator from section "Setting" of the error-text file.
#include <cstdint>
#include <string>

#include "common/ci_string.h"
#include "platform/global_object.h"

// The configuration file, opened by this bare name.
inline constexpr const char* kConfigFileName = "Quorvelin.ini";

// Results of TSetting::Load.
inline constexpr int kSettingOk = 0;
inline constexpr int kSettingCannotLoad = -1;
inline constexpr int kSettingBadTcpPort = -2;
inline constexpr int kSettingBadServerTimeout = -3;
inline constexpr int kSettingBadPortList = -4;
inline constexpr int kSettingBadBaudrate = -5;
inline constexpr int kSettingBadParity = -6;
inline constexpr int kSettingBadByteSize = -7;
inline constexpr int kSettingBadStopBits = -8;
inline constexpr int kSettingBadPortTxTimeout = -9;
inline constexpr int kSettingBadPortRxTimeout = -10;
inline constexpr int kSettingNoSlaveAddrList = -11;
inline constexpr int kSettingBadRtsDelay = -13;
inline constexpr int kSettingBadErrorMsgDB = -14;
inline constexpr int kSettingBadMaxConnections = -15;
inline constexpr int kSettingAlreadyLoaded = -16;

class TSetting {
 public:
  // Section ServerInfo, as the server uses it.
  struct TCP {
    std::int32_t TCPPort = 0;
    std::string IP;  // empty: listen on every interface
    std::uint32_t TxTimeout = 0;  // ms, client sockets' send time-out
    std::uint32_t RxTimeout = 0;  // ms, client sockets' receive time-out
  };

  // One serial port's section.
  struct ComParam {
    ci_string PortName;       // as written in SerialPorts
    ci_string SlaveAddrList;  // the raw unit-id list, checked by the port table
    std::uint32_t Baudrate = 0;
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even
    std::uint8_t ByteSize = 0;  // data bits
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    std::uint32_t TxTimeout = 0;  // ms
    std::uint32_t RxTimeout = 0;  // ms
    std::uint32_t RtsDelay = 0;   // ms between raising RTS and writing
  };

  TSetting();
  ~TSetting();
  TSetting(const TSetting&) = delete;
  TSetting& operator=(const TSetting&) = delete;

  // 0, or the negative code of the first failure.
  int Load();
  // Empties the ports and clears the loaded flag; everything else stays.
  void Unload();

  // The text of the last failure; "" when there was none.
  const char* GetErrorText() const;
  bool IsLoaded() const;
  const TCP* GetTCP() const;
  std::uint32_t GetMaxConnections() const;
  // Ports in the port map: after a failed load, those read before it.
  std::uint32_t GetPortCount() const;
  // The port of that index while loaded; null for an index out of range.
  const ComParam* GetComParam(std::uint32_t index) const;

  // Section SystemStart of the file last parsed, read at every call:
  // true when the value is "true" in any letter case.
  bool IsRunServer() const;
  bool IsTrayIcon() const;

  class Impl;

 private:
  Impl* impl_;
};

extern GlobalObject<TSetting> gSetting;
