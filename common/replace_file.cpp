#include "common/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

int Fail(const std::string& file_name, int error, std::string& error_text) {
  error_text = "Cannot write " + file_name + ": " + std::strerror(error);
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The file a name stands for: a link is followed, so the link survives.
std::filesystem::path TargetOf(const std::string& file_name) {
  std::error_code error;
  const std::filesystem::path name(file_name);
  if (!std::filesystem::is_symlink(name, error)) return name;
  const std::filesystem::path target = std::filesystem::canonical(name, error);
  return error ? name : target;
}

// The replaced file keeps its permission bits; a new one gets the usual
// ones rather than mkstemp's private 0600.
mode_t ModeOfNewContent(const std::filesystem::path& target) {
  struct stat old_file {};
  if (::stat(target.c_str(), &old_file) == 0) return old_file.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The rename is on disk only once the folder's entry is.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

int ReplaceFileContent(const std::string& file_name, std::string_view bytes,
                       std::string& error_text) {
  const std::filesystem::path target = TargetOf(file_name);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / (target.filename().string() + ".XXXXXX"));
  std::vector<char> temp_name(pattern.begin(), pattern.end());
  temp_name.push_back('\0');

  const int fd = ::mkstemp(temp_name.data());
  if (fd < 0) return Fail(file_name, errno, error_text);
  int error = 0;
  if (::fchmod(fd, ModeOfNewContent(target)) != 0) error = errno;
  if (error == 0 && !WriteAll(fd, bytes)) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp_name.data(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp_name.data());
    return Fail(file_name, error, error_text);
  }
  SyncFolder(folder);
  return 0;
}
