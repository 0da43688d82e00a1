#pragma once
// Test helpers for real files: a unique temporary folder removed with its
// content at the end, and a scope that makes a folder the current one.
// Safe for tests running in parallel: every folder has its own name.
#include <set>
#include <string>
#include <string_view>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The full path of a file inside the folder.
  std::string File(std::string_view name) const;
  // Writes `bytes` as they are (no line-end translation) to a file inside
  // the folder, replacing it; returns its full path.
  std::string Write(std::string_view name, std::string_view bytes) const;
  // Copies a file of the source tree's config/ folder into the folder.
  std::string CopyConfig(std::string_view name) const;

 private:
  std::string path_;
};

// The current directory is the folder for the life of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& path);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string previous_;
};

// A file or folder's permission bits changed for the life of the object,
// and the rights that let root pass over them put aside for this thread:
// a process that is not root meets the file as the operator does.
class ScopedMode {
 public:
  ScopedMode(const std::string& path, unsigned (*mode_from)(unsigned former));
  ~ScopedMode();
  ScopedMode(const ScopedMode&) = delete;
  ScopedMode& operator=(const ScopedMode&) = delete;

 private:
  std::string path_;
  unsigned former_mode_ = 0;
  bool lowered_rights_ = false;
};

// The file or folder refuses writing (a folder: new entries).
class ScopedReadOnly : public ScopedMode {
 public:
  explicit ScopedReadOnly(const std::string& path)
      : ScopedMode(path, [](unsigned former) { return former & ~0222u; }) {}
};

// The file refuses reading (mode 0200: its owner may only write it).
class ScopedUnreadable : public ScopedMode {
 public:
  explicit ScopedUnreadable(const std::string& path)
      : ScopedMode(path, [](unsigned) { return 0200u; }) {}
};

// A file's bytes as they are; "" when it cannot be read.
std::string ReadFile(const std::string& path);

// The names in a folder.
std::set<std::string> FolderEntries(const std::string& folder);

// The full path of a file of the source tree's config/ folder.
std::string SourceConfigPath(std::string_view name);
