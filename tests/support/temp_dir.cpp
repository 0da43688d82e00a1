#include "tests/support/temp_dir.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "qv-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::File(std::string_view name) const {
  return (fs::path(path_) / name).string();
}

std::string TempDir::Write(std::string_view name,
                           std::string_view bytes) const {
  const std::string file_path = File(name);
  std::ofstream out(file_path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file_path);
  return file_path;
}

std::string TempDir::CopyConfig(std::string_view name) const {
  const std::string file_path = File(name);
  fs::copy_file(SourceConfigPath(name), file_path,
                fs::copy_options::overwrite_existing);
  return file_path;
}

ScopedChdir::ScopedChdir(const std::string& path)
    : previous_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

namespace {

// Raises or lowers the override of file permissions in this thread's
// effective rights; it stays permitted, so it can come back.
bool SetFileOverride(bool on) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  const unsigned rights =
      (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
  if (on) {
    data[0].effective |= rights & data[0].permitted;
  } else {
    data[0].effective &= ~rights;
  }
  return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ScopedMode::ScopedMode(const std::string& path,
                       unsigned (*mode_from)(unsigned former))
    : path_(path) {
  struct stat former {};
  if (stat(path_.c_str(), &former) == 0) former_mode_ = former.st_mode & 07777;
  chmod(path_.c_str(), mode_from(former_mode_));
  if (geteuid() == 0) lowered_rights_ = SetFileOverride(false);
}

ScopedMode::~ScopedMode() {
  if (lowered_rights_) SetFileOverride(true);
  chmod(path_.c_str(), former_mode_);
}

std::string SourceConfigPath(std::string_view name) {
  return (fs::path(QV_SOURCE_DIR) / "config" / name).string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}
