#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

std::string SourceConfigPath(std::string_view name) {
  return (fs::path(QV_SOURCE_DIR) / "config" / name).string();
}
