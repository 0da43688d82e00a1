#include "common/config_values.h"

#include "common/ci_string.h"
#include "common/my_ini.h"

namespace {

// A TCP port number; anything else would be cut to its low 16 bits by the
// listen and serve a port other than the one the status bar shows.
constexpr std::int32_t kHighestTcpPort = 65535;

// A configuration word and the DCB value it stands for.
struct NamedValue {
  const char* name;
  std::uint8_t value;
};

// The value of the first name equal to `text` (letter case aside); false
// and `value` untouched when none is.
template <std::size_t N>
bool LookUpName(std::string_view text, const NamedValue (&table)[N],
                std::uint8_t& value) {
  for (const NamedValue& known : table) {
    if (SameIgnoringCase(text, known.name)) {
      value = known.value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadTcpPort(std::string_view value, std::int32_t& port) {
  return ConvertIniValue(value, port) == kIniOk && port >= 0 &&
         port <= kHighestTcpPort;
}

bool ReadUnsigned(std::string_view value, std::uint32_t& number) {
  return ConvertIniValue(value, number) == kIniOk;
}

bool ReadByteSize(std::string_view value, std::uint8_t& byte_size) {
  std::uint16_t number = 0;
  if (ConvertIniValue(value, number) != kIniOk) return false;
  byte_size = static_cast<std::uint8_t>(number & 0xFF);
  return true;
}

bool ReadParity(std::string_view value, std::uint8_t& parity) {
  static constexpr NamedValue kParities[] = {
      {"none", 0}, {"even", 2}, {"odd", 1}};
  return LookUpName(value, kParities, parity);
}

bool ReadStopBits(std::string_view value, std::uint8_t& stop_bits) {
  // Digits have no letter case: the comparison is exact.
  static constexpr NamedValue kStopBits[] = {{"1", 0}, {"1.5", 1}, {"2", 2}};
  return LookUpName(value, kStopBits, stop_bits);
}

bool ReadAddress(std::string_view value, std::string& address) {
  return ConvertIniValue(value, address) == kIniOk;
}

bool ReadSwitch(std::string_view value) {
  return SameIgnoringCase(value, "true");
}
