#include "platform/serial_ports_list.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>

#include "platform/serial_path.h"

namespace {

constexpr unsigned kHighestComNumber = 255;

// The n of `prefix` followed by n in decimal without leading zeros, the
// form the serial layer builds its paths from: any other spelling names a
// device it never opens.
std::optional<unsigned> NumberAfter(std::string_view name,
                                    std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  if (digits[0] == '0' && digits.size() > 1) return std::nullopt;
  unsigned number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

std::vector<std::string> EntriesOf(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

// The kernel gives every ttyS node a "type"; 0 means no UART was found.
bool HasUart(const std::string& tty_folder) {
  std::ifstream type_file(tty_folder + "/type");
  int type = 0;
  return static_cast<bool>(type_file >> type) && type != 0;
}

bool IsConfigured(const std::string& name,
                  const std::vector<AnsiString>& configured) {
  return std::any_of(configured.begin(), configured.end(), [&](const AnsiString& c) {
    return strcasecmp(c.c_str(), name.c_str()) == 0;
  });
}

}  // namespace

int EnumSerialPorts(std::vector<AnsiString>& ports,
                    const std::vector<AnsiString>& configured,
                    const std::string& tty_class_folder) {
  std::set<unsigned> numbers;
  for (const std::string& name : EntriesOf(ComPortsFolder())) {
    const auto number = NumberAfter(name, "COM");
    if (number && *number >= 1 && *number <= kHighestComNumber)
      numbers.insert(*number);
  }
  for (const std::string& name : EntriesOf(tty_class_folder)) {
    const auto index = NumberAfter(name, "ttyS");
    if (index && *index < kHighestComNumber &&
        HasUart(tty_class_folder + "/" + name)) {
      numbers.insert(*index + 1);
    }
  }
  int count = 0;
  for (unsigned number : numbers) {
    const std::string name = "COM" + std::to_string(number);
    if (IsConfigured(name, configured)) continue;
    ports.emplace_back(name);
    ++count;
  }
  return count;
}
