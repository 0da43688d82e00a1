#include "platform/serial_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kPortPrefix[] = "COM";

}  // namespace

std::string ComPortsFolder() {
  const char* folder = std::getenv("QUORVELIN_PORTS");
  if (folder == nullptr || folder[0] == '\0') return "ports";
  return folder;
}

std::optional<DWORD> ComNumberOfName(const char* name) {
  const std::size_t prefix_length = sizeof kPortPrefix - 1;
  if (name == nullptr || std::strncmp(name, kPortPrefix, prefix_length) != 0)
    return std::nullopt;
  const char* digits = name + prefix_length;
  if (*digits == '\0') return std::nullopt;
  std::uint64_t number = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned>(*p - '0');
    if (number > MAXDWORD) return std::nullopt;
  }
  return static_cast<DWORD>(number);
}

std::optional<DWORD> ComNumberOfPath(const char* path) {
  const std::size_t prefix_length = sizeof kDevicePrefix - 1;
  if (path == nullptr || std::strncmp(path, kDevicePrefix, prefix_length) != 0)
    return std::nullopt;
  return ComNumberOfName(path + prefix_length);
}

std::string ComDevicePath(DWORD number) {
  const std::string entry = ComPortsFolder() + "/COM" + std::to_string(number);
  struct stat status;
  if (lstat(entry.c_str(), &status) == 0) return entry;
  // Anything but "not there" (a folder we may not search, say) is for the
  // open to report.
  if (errno != ENOENT && errno != ENOTDIR) return entry;
  if (number == 0) return entry;
  return "/dev/ttyS" + std::to_string(number - 1);
}
