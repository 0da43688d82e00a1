#include "ui/options_values.h"

#include <string>

#include "common/config_values.h"

namespace {

// One key the dialog shows and how the loader reads it.
struct KeyRule {
  const char* key;
  bool (*loads)(std::string_view value);
};

template <class T, bool (*Reader)(std::string_view, T&)>
bool Loads(std::string_view value) {
  T unused{};
  return Reader(value, unused);
}

constexpr KeyRule kServerRules[] = {
    {"TCPPort", Loads<std::int32_t, ReadTcpPort>},
    {"TxTimeout", Loads<std::uint32_t, ReadUnsigned>},
    {"RxTimeout", Loads<std::uint32_t, ReadUnsigned>},
    {"MaxConnections", Loads<std::uint32_t, ReadUnsigned>},
};

constexpr KeyRule kPortRules[] = {
    {"Baudrate", Loads<std::uint32_t, ReadUnsigned>},
    {"Parity", Loads<std::uint8_t, ReadParity>},
    {"ByteSize", Loads<std::uint8_t, ReadByteSize>},
    {"StopBits", Loads<std::uint8_t, ReadStopBits>},
    {"TxTimeout", Loads<std::uint32_t, ReadUnsigned>},
    {"RxTimeout", Loads<std::uint32_t, ReadUnsigned>},
    {"RtsDelay", Loads<std::uint32_t, ReadUnsigned>},
};

template <std::size_t N>
bool FindRefused(const EditableIni& ini, const AnsiString& section,
                 const KeyRule (&rules)[N], AnsiString& refusal) {
  for (const KeyRule& rule : rules) {
    const AnsiString* value = FindIniValue(ini, section, rule.key);
    if (value == nullptr || rule.loads(value->str())) continue;
    refusal.sprintf("%s=\"%s\" in [%s] is not a value the gateway can load.",
                    rule.key, value->c_str(), section.c_str());
    return true;
  }
  return false;
}

}  // namespace

AnsiString ShownUnsigned(const AnsiString& value) {
  std::uint32_t number = 0;
  return ReadUnsigned(value.str(), number) ? AnsiString(std::to_string(number)) : value;
}

AnsiString ShownTcpPort(const AnsiString& value) {
  std::int32_t port = 0;
  return ReadTcpPort(value.str(), port) ? AnsiString(std::to_string(port)) : value;
}

AnsiString ShownAddress(const AnsiString& value) {
  std::string address;
  return ReadAddress(value.str(), address) ? AnsiString(address) : AnsiString();
}

bool ShownChecked(const AnsiString& value) { return ReadSwitch(value.str()); }

AnsiString ShownBaudrate(const AnsiString& value) {
  std::uint32_t rate = 0;
  return ReadUnsigned(value.str(), rate) ? AnsiString(std::to_string(rate)) : AnsiString();
}

int ParityItem(const AnsiString& value) {
  // By the DCB value the loader reads: none, odd, even.
  static constexpr int kItemOfParity[] = {2, 0, 1};
  std::uint8_t parity = 0;
  return ReadParity(value.str(), parity) ? kItemOfParity[parity] : -1;
}

int StopBitsItem(const AnsiString& value) {
  // The items follow the DCB values: one, one and a half, two.
  std::uint8_t stop_bits = 0;
  return ReadStopBits(value.str(), stop_bits) ? stop_bits : -1;
}

int ByteSizeItem(const AnsiString& value) {
  std::uint8_t byte_size = 0;
  if (!ReadByteSize(value.str(), byte_size)) return -1;
  return byte_size == 7 ? 0 : byte_size == 8 ? 1 : -1;
}

bool FindRefusedValue(const EditableIni& ini, const AnsiStrVector& ports,
                      AnsiString& refusal) {
  if (FindRefused(ini, "ServerInfo", kServerRules, refusal)) return true;
  for (const AnsiString& port : ports) {
    if (FindRefused(ini, port, kPortRules, refusal)) return true;
  }
  return false;
}
