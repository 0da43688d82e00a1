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

// The file or folder refuses writing (a folder: new entries) for the life
// of the object, to this thread even when it runs as root, which otherwise
// writes anywhere: a process that is not root meets it as the operator
// does.
class ScopedReadOnly {
 public:
  explicit ScopedReadOnly(const std::string& path);
  ~ScopedReadOnly();
  ScopedReadOnly(const ScopedReadOnly&) = delete;
  ScopedReadOnly& operator=(const ScopedReadOnly&) = delete;

 private:
  std::string path_;
  unsigned former_mode_ = 0;
  bool lowered_rights_ = false;
};

// The file refuses reading (mode 0200: its owner may only write it) for
// the life of the object, to this thread even when it runs as root, as
// ScopedReadOnly does.
class ScopedUnreadable {
 public:
  explicit ScopedUnreadable(const std::string& path);
  ~ScopedUnreadable();
  ScopedUnreadable(const ScopedUnreadable&) = delete;
  ScopedUnreadable& operator=(const ScopedUnreadable&) = delete;

 private:
  std::string path_;
  unsigned former_mode_ = 0;
  bool lowered_rights_ = false;
};

// A file's bytes as they are; "" when it cannot be read.
std::string ReadFile(const std::string& path);

// The names in a folder.
std::set<std::string> FolderEntries(const std::string& folder);

// The full path of a file of the source tree's config/ folder.
std::string SourceConfigPath(std::string_view name);
