#include "common/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/file_owner_rights.h"
#include "common/write_all.h"

namespace {

namespace fs = std::filesystem;

// The reason a save gives for a name that leads to no regular file.
constexpr char kNotARegularFile[] = "not a regular file";

// As many links as the kernel itself follows in one name.
constexpr int kMostLinksFollowed = 40;

// What follows "Cannot write <name>: "; "" when nothing failed.
std::string ReasonOf(int error) { return error == 0 ? "" : std::strerror(error); }

int Fail(const std::string& file_name, const std::string& reason, std::string& error_text) {
  error_text = "Cannot write " + file_name + ": " + reason;
  return -1;
}

// The file a name stands for. Links are followed one at a time, a dangling
// one too (the file it names is then created), so the link survives.
fs::path TargetOf(const std::string& file_name) {
  fs::path name(file_name);
  std::error_code error;
  for (int hop = 0; hop < kMostLinksFollowed && fs::is_symlink(name, error); ++hop) {
    const fs::path points_to = fs::read_symlink(name, error);
    if (error) break;
    name = points_to.is_absolute() ? points_to : name.parent_path() / points_to;
  }
  return name;
}

// A save writes regular files only. A FIFO would hold the save until a
// reader came, a device would take the bytes as its input or be replaced
// by a regular file, and a folder or a socket holds no content. Looking
// opens nothing, so it never waits on what it finds; a name that leads to
// nothing is no special file.
bool IsSpecialFile(const fs::path& target) {
  struct stat info {};
  return ::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// The file being replaced, open for writing; no descriptor when there is
// none yet.
struct OldFile {
  int fd = -1;
  struct stat info {};
  bool Exists() const { return fd >= 0; }
};

// The right to change a file is the file's own, not its folder's: opening
// it for writing asks the kernel exactly that, for root as for anyone.
// 0 (with `old` empty when there is no such file), or the refusal.
// Opened without waiting, should a FIFO have taken the name since it was
// looked at (a regular file's writes do not heed the flag).
int OpenOldFile(const fs::path& target, OldFile& old) {
  old.fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (old.fd < 0) return errno == ENOENT ? 0 : errno;
  if (::fstat(old.fd, &old.info) == 0) return 0;
  const int error = errno;
  ::close(old.fd);
  old.fd = -1;
  return error;
}

// The old file's permission bits; a file new to the folder gets the usual
// ones rather than mkstemp's 0600.
mode_t ModeOfNewFile(const OldFile& old) {
  if (old.Exists()) return old.info.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// How the way through a new file ended.
struct NewFileOutcome {
  int error = 0;  // 0, or the error of the step that failed
  // The failure was the new file's or its name's, not the old file's:
  // written in place, the old file still ends up as asked.
  bool write_in_place_instead = false;
};

// The folder refuses a new name, or the taking of a name (sticky folder).
bool FolderRefused(int error) { return error == EACCES || error == EPERM; }

// The name cannot be given to another file: one is mounted on it, or it
// would move across file systems.
bool NameIsFixed(int error) { return error == EBUSY || error == EXDEV; }

// The new file sheds what its folder gave it, takes the old one's owner
// and group, then its permission bits (a change of owner clears set-id
// bits), then the bytes, which reach the disk before the file may take the
// old one's name.
NewFileOutcome FillNewFile(int fd, std::string_view bytes, const OldFile& old,
                           const FileReplaceSteps& steps) {
  // A folder's default ACL would let users the old file never named at
  // the new one, and leave its group only what the ACL gives the group.
  // The old file carried no attribute, or it would be written in place.
  if (old.Exists())
    if (const int error = RemoveAllAttributes(fd, steps.list_attributes); error != 0)
      return {error, true};
  // Refused (an owner or group this process's user namespace does not
  // map), the new file would stand under the old name as the writer's.
  if (old.Exists() && ::fchown(fd, old.info.st_uid, old.info.st_gid) != 0)
    return {errno, true};
  if (::fchmod(fd, ModeOfNewFile(old)) != 0) return {errno, false};
  if (WriteAll(fd, bytes) < bytes.size()) return {errno, false};
  if (steps.sync_to_disk(fd) != 0) return {errno, false};
  return {};
}

// The rename is on disk only once the folder's entry is.
void SyncFolder(const fs::path& folder, const FileReplaceSteps& steps) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  steps.sync_to_disk(fd);
  ::close(fd);
}

// Writes the bytes to a new file beside the target and renames it over
// the target; on a failure nothing of the new file is left.
NewFileOutcome ReplaceThroughNewFile(const fs::path& target, std::string_view bytes,
                                     const OldFile& old, const FileReplaceSteps& steps) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string temp_name = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp_name.data());
  if (fd < 0) return {errno, FolderRefused(errno)};
  NewFileOutcome outcome = FillNewFile(fd, bytes, old, steps);
  if (::close(fd) != 0 && outcome.error == 0) outcome = {errno, false};
  if (outcome.error == 0 && steps.rename(temp_name.c_str(), target.c_str()) != 0)
    outcome = {errno, FolderRefused(errno) || NameIsFixed(errno)};
  if (outcome.error != 0) {
    ::unlink(temp_name.c_str());
    return outcome;
  }
  SyncFolder(folder, steps);
  return {};
}

// How the overwrite of a file ended.
struct OverwriteOutcome {
  int error = 0;  // 0, or the error of the step that failed
  // A byte was written or the size changed: the file may differ from
  // what it was.
  bool changed = false;
};

// Makes `bytes` the whole content of the open file, which held `size_before`
// bytes.
OverwriteOutcome Overwrite(int fd, std::string_view bytes, std::size_t size_before,
                           const FileReplaceSteps& steps) {
  if (::lseek(fd, 0, SEEK_SET) != 0) return {errno, false};
  const std::size_t written = WriteAll(fd, bytes);
  if (written < bytes.size()) return {errno, written > 0};
  if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) return {errno, written > 0};
  const bool changed = written > 0 || bytes.size() != size_before;
  return {steps.sync_to_disk(fd) == 0 ? 0 : errno, changed};
}

// The rest of an open file's content: 0 or the error.
int ReadRest(int fd, std::string& bytes) {
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

// The whole content of the old file: "" or the reason it cannot be read.
// The name is opened again, for reading and without waiting; should it
// lead to another file by now (a FIFO too), that file's bytes would be put
// back over the old one.
std::string ReadOldContent(const fs::path& target, const OldFile& old, std::string& bytes) {
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return ReasonOf(errno);
  struct stat info {};
  std::string reason;
  if (::fstat(fd, &info) != 0)
    reason = ReasonOf(errno);
  else if (info.st_dev != old.info.st_dev || info.st_ino != old.info.st_ino)
    reason = "another file took its name";
  else
    reason = ReasonOf(ReadRest(fd, bytes));
  ::close(fd);
  return reason;
}

// Writing over the old file cannot be one step, so the old bytes are put
// back if the new ones do not all fit. Without them a failure part-way
// would leave neither content, so the write is not begun; a put-back that
// fails too leaves the file in pieces, which the reason must say. A write
// that failed before it changed anything (a full disk refuses the first
// byte) leaves the file as it was: putting it back could only fail the
// same way and report pieces that are not there.
std::string ReplaceInPlace(const fs::path& target, std::string_view bytes,
                           const OldFile& old, const FileReplaceSteps& steps) {
  std::string old_bytes;
  if (const std::string reason = ReadOldContent(target, old, old_bytes); !reason.empty())
    return "its old content cannot be read to keep it: " + reason;
  const OverwriteOutcome outcome = Overwrite(old.fd, bytes, old_bytes.size(), steps);
  if (outcome.error == 0 || !outcome.changed) return ReasonOf(outcome.error);
  // Whether the put-back changed the file is of no matter: only its error is.
  const int put_back_error = Overwrite(old.fd, old_bytes, bytes.size(), steps).error;
  if (put_back_error == 0) return ReasonOf(outcome.error);
  return ReasonOf(outcome.error) + "; putting the old content back failed too (" +
         ReasonOf(put_back_error) + "): the file may be incomplete";
}

// Extended attributes stay with the old file when a new one takes its
// name; an ACL is one of them, and without it the group bits, which showed
// the ACL's mask, would become the group's own rights. The file's other
// names would go on showing the old bytes. A list the kernel will not give
// is taken to hold something; a file system without attributes has none.
bool CarriesWhatANewFileWouldLose(const OldFile& old, const FileReplaceSteps& steps) {
  if (old.info.st_nlink > 1) return true;
  std::vector<std::string> attributes;
  return AttributeNames(old.fd, steps.list_attributes, attributes) != 0 || !attributes.empty();
}

// Through a new file where it can be all the old file was, else in place.
// Whether it can be is asked before a new file is made, so that the folder
// does not see one come and go for nothing.
std::string Replace(const fs::path& target, std::string_view bytes, const OldFile& old,
                    const FileReplaceSteps& steps) {
  if (!old.Exists()) return ReasonOf(ReplaceThroughNewFile(target, bytes, old, steps).error);
  if (!MayGiveNewFileTo(old.info.st_uid, old.info.st_gid) ||
      CarriesWhatANewFileWouldLose(old, steps))
    return ReplaceInPlace(target, bytes, old, steps);
  const NewFileOutcome outcome = ReplaceThroughNewFile(target, bytes, old, steps);
  if (outcome.write_in_place_instead) return ReplaceInPlace(target, bytes, old, steps);
  return ReasonOf(outcome.error);
}

}  // namespace

int ReplaceFileContent(const std::string& file_name, std::string_view bytes,
                       std::string& error_text, const FileReplaceSteps& steps) {
  const fs::path target = TargetOf(file_name);
  if (IsSpecialFile(target)) return Fail(file_name, kNotARegularFile, error_text);
  OldFile old;
  const int open_error = OpenOldFile(target, old);
  const std::string reason =
      open_error != 0 ? ReasonOf(open_error) : Replace(target, bytes, old, steps);
  if (old.Exists()) ::close(old.fd);
  return reason.empty() ? 0 : Fail(file_name, reason, error_text);
}
