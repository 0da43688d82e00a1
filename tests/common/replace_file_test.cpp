// Replacing a file's content on real files in a temporary folder: what the
// old file was (its mode, owner, group, the links that lead to it) stays,
// a file the process may not write is left alone, and where a new file
// cannot take the old one's place (a folder that takes no new file, a file
// mounted on the name, an owner the writer cannot give a file to) or would
// lose what the old one carries (an ACL, an attribute, another name) a
// writable file is still saved, in place.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/replace_file.h"
#include "platform/write_signals.h"
#include "tests/support/deadline.h"
#include "tests/support/forked_child.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const char kOld[] = "[ServerInfo]\nTCPPort=502\n";
const char kNew[] = "[ServerInfo]\nTCPPort=1502\nIP=127.0.0.1\n";

struct stat StatOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info;
}

// Replaces the file and expects success.
void Replace(const std::string& name, std::string_view bytes,
             const FileReplaceSteps& steps = {}) {
  std::string error;
  EXPECT_EQ(ReplaceFileContent(name, bytes, error, steps), 0) << error;
}

// "" when the file was replaced, else the error text; for forked children.
std::string ReplaceOutcome(const std::string& name, std::string_view bytes,
                           const FileReplaceSteps& steps = {}) {
  std::string error;
  return ReplaceFileContent(name, bytes, error, steps) == 0 ? "" : error;
}

std::string Failed(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

// A child's answer when the sandbox denies what a test needs set up.
const char kNotPermittedHere[] = "not permitted here";

TEST(ReplaceFile, TheNewFileKeepsTheModeOwnerAndGroupOfTheOld) {
  // Only root may give a file to somebody else; anybody else replaces
  // files of its own.
  const bool root = geteuid() == 0;
  const uid_t owner = root ? 65534 : geteuid();
  const gid_t group = root ? 65534 : getegid();
  for (const mode_t mode : {0600u, 0640u, 0604u, 0755u}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string file = dir.Write("Quorvelin.ini", kOld);
    ASSERT_EQ(chown(file.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    const ino_t old_inode = StatOf(file).st_ino;

    Replace(file, kNew);
    EXPECT_EQ(ReadFile(file), kNew);
    const struct stat replaced = StatOf(file);
    EXPECT_NE(replaced.st_ino, old_inode);  // a new file took the name
    EXPECT_EQ(replaced.st_mode & 07777, mode);
    EXPECT_EQ(replaced.st_uid, owner);
    EXPECT_EQ(replaced.st_gid, group);
    EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
  }
}

TEST(ReplaceFile, ANewFileGetsTheUsualModeLessTheMask) {
  TempDir dir;
  const mode_t former_mask = umask(027);
  Replace(dir.File("session.log"), kNew);
  umask(former_mask);
  EXPECT_EQ(ReadFile(dir.File("session.log")), kNew);
  EXPECT_EQ(StatOf(dir.File("session.log")).st_mode & 0777, 0640u);
}

TEST(ReplaceFile, ALinkStaysALinkAndTheFileItLeadsToIsWritten) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // name, target
    std::string name;    // the name written
    std::string target;  // the file that must hold the new bytes
  };
  TempDir dir;
  const std::string real = dir.File("real");
  const Case cases[] = {
      {"relative link", {{"a.ini", "real/a.ini"}}, "a.ini", "real/a.ini"},
      {"absolute link", {{"b.ini", real + "/b.ini"}}, "b.ini", "real/b.ini"},
      {"chain of links", {{"c.ini", "c2.ini"}, {"c2.ini", "real/c.ini"}}, "c.ini", "real/c.ini"},
      {"file in a linked folder", {{"conf", "real"}}, "conf/d.ini", "real/d.ini"},
      {"dangling link", {{"e.log", "real/e.log"}}, "e.log", "real/e.log"},
  };
  fs::create_directory(real);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) != "dangling link") dir.Write(c.target, kOld);
    for (const auto& [name, target] : c.links)
      fs::create_symlink(target, dir.File(name));

    Replace(dir.File(c.name), kNew);
    EXPECT_EQ(ReadFile(dir.File(c.target)), kNew);
    for (const auto& [name, target] : c.links) {
      ASSERT_TRUE(fs::is_symlink(dir.File(name))) << name;
      EXPECT_EQ(fs::read_symlink(dir.File(name)).string(), target);
    }
  }
  // No file was left beside a link or its target.
  EXPECT_EQ(FolderEntries(real), (std::set<std::string>{"a.ini", "b.ini", "c.ini", "d.ini", "e.log"}));
}

TEST(ReplaceFile, AFileTheProcessMayNotWriteIsNotReplaced) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  fs::create_symlink("Quorvelin.ini", dir.File("link.ini"));
  for (const std::string& name : {file, dir.File("link.ini")}) {
    SCOPED_TRACE(name);
    std::string error;
    {
      ScopedReadOnly read_only(file);
      EXPECT_EQ(ReplaceFileContent(name, kNew, error), -1);
    }
    EXPECT_EQ(error, "Cannot write " + name + ": Permission denied");
    EXPECT_EQ(ReadFile(file), kOld);
    EXPECT_EQ(FolderEntries(dir.path()), (std::set<std::string>{"Quorvelin.ini", "link.ini"}));
  }
}

// Root may write any file, so it may replace one without write bits too;
// the file keeps them.
TEST(ReplaceFile, RootReplacesAFileWithoutWriteBitsAndKeepsTheMode) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may write a file of mode 444";
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  Replace(file, kNew);
  EXPECT_EQ(ReadFile(file), kNew);
  EXPECT_EQ(StatOf(file).st_mode & 07777, 0444u);
}

TEST(ReplaceFile, AFolderThatTakesNoNewFileHasItsFilesWrittenInPlace) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kNew);
  const ino_t inode = StatOf(file).st_ino;
  std::string error;
  {
    ScopedReadOnly read_only(dir.path());
    // Longer, then shorter: nothing of the longer content remains.
    Replace(file, std::string(kNew) + kNew);
    Replace(file, kOld);
    EXPECT_EQ(ReplaceFileContent(dir.File("new.log"), kNew, error), -1);
  }
  EXPECT_EQ(ReadFile(file), kOld);
  EXPECT_EQ(StatOf(file).st_ino, inode);
  EXPECT_EQ(error, "Cannot write " + dir.File("new.log") + ": Permission denied");
  EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
}

// A save writes regular files only, and what else a name leads to stays
// as it was: a FIFO that nobody reads (the save must not wait for a
// reader), a folder, a socket, and, where root may make one, a device node
// reached through a link (which a new file must not replace).
TEST(ReplaceFile, ANameThatLeadsToNoRegularFileIsRefusedWithoutWaitingOnIt) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  fs::create_symlink("fifo", dir.File("fifo.log"));
  fs::create_directory(dir.File("folder.log"));
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, dir.File("socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::vector<std::string> names = {"fifo", "fifo.log", "folder.log", "socket"};
  if (mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    fs::create_symlink("null", dir.File("device.log"));
    names.push_back("device.log");
  }
  std::map<std::string, struct stat> before;
  for (const std::string& entry : FolderEntries(dir.path())) before[entry] = StatOf(dir.File(entry));

  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string file = dir.File(name);
    std::string error;
    std::atomic<bool> returned{false};
    std::thread save([&] {
      EXPECT_EQ(ReplaceFileContent(file, kNew, error), -1);
      returned = true;
    });
    // A save that waits on the FIFO after all gets a reader, late, so that
    // it fails the test instead of hanging it.
    if (!WaitUntil([&] { return returned.load(); }, std::chrono::seconds(10))) {
      ADD_FAILURE() << "the save waited on the FIFO";
      const int reader = open(dir.File("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      save.join();
      close(reader);
    } else {
      save.join();
    }
    EXPECT_EQ(error, "Cannot write " + file + ": not a regular file");
  }
  close(listener);
  EXPECT_EQ(FolderEntries(dir.path()).size(), before.size()) << "a file was left beside";
  for (const auto& [entry, info] : before) {
    SCOPED_TRACE(entry);
    const struct stat now = StatOf(dir.File(entry));
    EXPECT_EQ(now.st_ino, info.st_ino);
    EXPECT_EQ(now.st_mode, info.st_mode);
    EXPECT_EQ(now.st_size, info.st_size);
  }
  EXPECT_TRUE(fs::is_empty(dir.File("folder.log")));
}

// In place the write is not one step: one that fails part-way (the file
// size limit stands in for a full disk) puts the old bytes back, all of
// them, however many reads they take. Old bytes that no longer fit either
// may leave the file in pieces, and the text says so; a write refused at
// its first byte left the file as it was, and the text says nothing of
// pieces.
TEST(ReplaceFile, AnInPlaceWriteThatFailsPartWayLeavesTheOldContent) {
  constexpr rlim_t kSizeLimit = 64;
  constexpr rlim_t kBeyondOneRead = 12 * 1024;
  const std::string old_past_limit = kOld + std::string(kSizeLimit, ';');
  const struct {
    const char* what;
    std::string old;
    rlim_t size_limit;
    std::string error_text;  // after "Cannot write <file>: "
  } cases[] = {
      {"old bytes within the limit", kOld, kSizeLimit, "File too large"},
      {"old bytes past the limit", old_past_limit, kSizeLimit,
       "File too large; putting the old content back failed too (File too large): the file may "
       "be incomplete"},
      {"old bytes longer than one read", std::string(10 * 1024, ';'), kBeyondOneRead,
       "File too large"},
      {"no byte allowed", kOld, 0, "File too large"},
  };
  LetWritesFailInsteadOfSignalling();  // as the program does at its start
  rlimit former{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &former), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir.Write("Quorvelin.ini", c.old);
    const std::string too_long(c.size_limit + 200, 'x');
    rlimit small = former;
    small.rlim_cur = c.size_limit;
    std::string error;
    int result = 0;
    {
      ScopedReadOnly read_only(dir.path());
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      result = ReplaceFileContent(file, too_long, error);
      setrlimit(RLIMIT_FSIZE, &former);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, "Cannot write " + file + ": " + c.error_text);
    EXPECT_EQ(ReadFile(file), c.old);
  }
}

// A write of nothing over a file changes it by its cut alone; failing
// after that (the flush to disk), it puts the old bytes back too.
TEST(ReplaceFile, AWriteOfNothingThatFailsAfterTheCutPutsTheOldContentBack) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  int syncs = 0;
  FileReplaceSteps steps;
  steps.sync_to_disk = [&syncs](int fd) {
    errno = EIO;
    return ++syncs == 1 ? -1 : fsync(fd);
  };
  std::string error;
  {
    ScopedReadOnly read_only(dir.path());
    EXPECT_EQ(ReplaceFileContent(file, "", error, steps), -1);
  }
  EXPECT_EQ(error, "Cannot write " + file + ": Input/output error");
  EXPECT_EQ(ReadFile(file), kOld);
}

// What reached the disk, in order, with the renames between:
// "sync <inode>: <the file's content then>", "rename", "sync folder <path>".
FileReplaceSteps Recording(std::vector<std::string>& events) {
  const auto sync_event = [](int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    struct stat info {};
    fstat(fd, &info);
    if (S_ISDIR(info.st_mode)) return "sync folder " + fs::read_symlink(self).string();
    return "sync " + std::to_string(info.st_ino) + ": " + ReadFile(self);
  };
  return {[&events, sync_event](int fd) {
            events.push_back(sync_event(fd));
            return fsync(fd);
          },
          [&events](const char* from, const char* to) {
            events.push_back("rename");
            return rename(from, to);
          }};
}

TEST(ReplaceFile, TheBytesReachTheDiskBeforeTheNameMovesOrTheCallReturns) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  std::vector<std::string> through_new_file;
  Replace(file, kNew, Recording(through_new_file));
  const std::string inode = std::to_string(StatOf(file).st_ino);
  EXPECT_EQ(through_new_file, (std::vector<std::string>{"sync " + inode + ": " + kNew, "rename",
                                                        "sync folder " + dir.path()}));

  std::vector<std::string> in_place;
  {
    ScopedReadOnly read_only(dir.path());
    Replace(file, kOld, Recording(in_place));
  }
  EXPECT_EQ(in_place, std::vector<std::string>{"sync " + inode + ": " + kOld});
}

// A file handed into a container is mounted on its name, which then takes
// no other file. The mount lives in the child's own mount namespace.
std::string MountFileOn(const std::string& source, const std::string& name) {
  if (unshare(CLONE_NEWNS) != 0) return errno == EPERM ? kNotPermittedHere : Failed("unshare");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Failed("mount private");
  if (mount(source.c_str(), name.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return errno == EPERM ? kNotPermittedHere : Failed("mount bind");
  return "";
}

TEST(ReplaceFile, AFileMountedOnTheNameIsWrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may mount";
  TempDir dir;
  const std::string shared = dir.Write("shared.ini", kOld);
  const std::string file = dir.Write("Quorvelin.ini", "");
  const ino_t shared_inode = StatOf(shared).st_ino;
  const std::string answer = InForkedChild([&] {
    const std::string failure = MountFileOn(shared, file);
    return failure.empty() ? ReplaceOutcome(file, kNew) : failure;
  });
  if (answer == kNotPermittedHere) GTEST_SKIP() << "mounting is not permitted here";
  EXPECT_EQ(answer, "");
  EXPECT_EQ(ReadFile(shared), kNew);
  EXPECT_EQ(StatOf(shared).st_ino, shared_inode);
  EXPECT_EQ(ReadFile(file), "");  // the file the mount covered
  EXPECT_EQ(FolderEntries(dir.path()), (std::set<std::string>{"Quorvelin.ini", "shared.ini"}));
}

FileReplaceSteps RenameFailingWith(int error) {
  FileReplaceSteps steps;
  steps.rename = [error](const char*, const char*) {
    errno = error;
    return -1;
  };
  return steps;
}

// Only a name that cannot move sends the save in place; any other failed
// rename keeps the old file and says why.
TEST(ReplaceFile, ANameTheFolderWillNotMoveIsWrittenInPlace) {
  struct Case {
    int rename_error;
    std::string error_text;  // after "Cannot write <file>: "
    std::string content;
  };
  const Case cases[] = {
      {EXDEV, "", kNew},  // the name stands on another file system
      {EPERM, "", kNew},  // a sticky folder keeps others from taking a name
      {EACCES, "", kNew},
      {EIO, "Input/output error", kOld},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rename_error);
    TempDir dir;
    const std::string file = dir.Write("Quorvelin.ini", kOld);
    const ino_t inode = StatOf(file).st_ino;
    std::string error;
    const int result = ReplaceFileContent(file, kNew, error, RenameFailingWith(c.rename_error));
    EXPECT_EQ(result, c.error_text.empty() ? 0 : -1);
    EXPECT_EQ(error, c.error_text.empty() ? "" : "Cannot write " + file + ": " + c.error_text);
    EXPECT_EQ(ReadFile(file), c.content);
    EXPECT_EQ(StatOf(file).st_ino, inode);
    EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
  }
}

// A folder's modification time set far back shows whether a file came and
// went in it since.
constexpr time_t kLongAgo = 1'000'000'000;
void SetModifiedLongAgo(const std::string& path) {
  const timespec times[2] = {{kLongAgo, 0}, {kLongAgo, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A user without the right to give files away; the other user and group
// are none of its own.
constexpr uid_t kUser = 65534;
constexpr gid_t kUserGroup = 65534;
constexpr uid_t kOtherUser = 65533;
constexpr gid_t kOtherGroup = 4;

// A user saves a file it may write, in a folder of its own. A new file
// would be the user's, in a group of the user's: where it could not be
// given the old owner and group, the old file is written in place, and no
// new file comes and goes in the folder.
TEST(ReplaceFile, AUserSaveKeepsOwnerAndGroupThroughANewFileWhereItCanElseInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may act as other users";
  struct Case {
    const char* what;
    uid_t owner;
    gid_t group;
    mode_t mode;
    std::vector<gid_t> user_groups;  // beside its own (kUserGroup)
    bool new_file;
  };
  const Case cases[] = {
      {"root's file open to all", 0, 0, 0666, {}, false},
      {"own file of a group the user is not in", kUser, kOtherGroup, 0640, {}, false},
      {"another's file of a group the user is in", kOtherUser, kOtherGroup, 0660, {kOtherGroup},
       false},
      {"own file of another group the user is in", kUser, kOtherGroup, 0640, {kOtherGroup}, true},
      {"own file of the user's own group", kUser, kUserGroup, 0644, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_EQ(chown(dir.path().c_str(), kUser, kUserGroup), 0);
    const std::string file = dir.Write("Quorvelin.ini", kOld);
    ASSERT_EQ(chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
    const ino_t inode = StatOf(file).st_ino;
    SetModifiedLongAgo(dir.path());

    const std::string answer = InForkedChild([&] {
      const std::string failure = BecomeUser({kUser, kUserGroup, c.user_groups});
      return failure.empty() ? ReplaceOutcome(file, kNew) : failure;
    });
    EXPECT_EQ(answer, "");
    EXPECT_EQ(ReadFile(file), kNew);
    const struct stat saved = StatOf(file);
    EXPECT_EQ(saved.st_uid, c.owner);
    EXPECT_EQ(saved.st_gid, c.group);
    EXPECT_EQ(saved.st_mode & 07777, c.mode);
    EXPECT_EQ(saved.st_ino != inode, c.new_file);
    if (!c.new_file) {
      EXPECT_EQ(StatOf(dir.path()).st_mtim.tv_sec, kLongAgo) << "a new file came and went";
    }
    EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
  }
}

// The outcome of a save by kUser, from a forked child.
std::string ReplaceOutcomeAsUser(const std::string& name, std::string_view bytes,
                                 const FileReplaceSteps& steps = {}) {
  return InForkedChild([&] {
    const std::string failure = BecomeUser({kUser, kUserGroup, {}});
    return failure.empty() ? ReplaceOutcome(name, bytes, steps) : failure;
  });
}

// A save by kUser in a folder of its own, of a file of its own: root
// saves as kUser, anybody else as itself.
std::string ReplaceOutcomeOfUser(const TempDir& dir, const std::string& file,
                                 std::string_view bytes, const FileReplaceSteps& steps = {}) {
  if (geteuid() != 0) return ReplaceOutcome(file, bytes, steps);
  EXPECT_EQ(chown(dir.path().c_str(), kUser, kUserGroup), 0);
  EXPECT_EQ(chown(file.c_str(), kUser, kUserGroup), 0);
  return ReplaceOutcomeAsUser(file, bytes, steps);
}

// An ACL as the kernel keeps it in "system.posix_acl_access": a version,
// then {tag, permissions, id} entries in order of tag and id. This one
// lets `user` read and write; the owning group may only read, but the
// mask, which the mode's group bits show, is rw.
std::string AclLettingReadAndWrite(std::uint32_t user) {
  constexpr std::uint32_t kNoId = 0xffffffff;
  using Entry = std::array<std::uint32_t, 3>;
  std::string acl;
  const auto put = [&acl](std::uint32_t value, int size) {
    for (int byte = 0; byte < size; ++byte) acl += static_cast<char>(value >> (8 * byte));
  };
  put(2, 4);
  // The owner, the user, the owning group, the mask, everyone else.
  for (const auto& [tag, permissions, id] : {Entry{0x01, 6, kNoId}, Entry{0x02, 6, user},
                                             Entry{0x04, 4, kNoId}, Entry{0x10, 6, kNoId},
                                             Entry{0x20, 0, kNoId}}) {
    put(tag, 2);
    put(permissions, 2);
    put(id, 4);
  }
  return acl;
}

// An extended attribute's value; "" when the file has none of that name.
std::string AttributeOf(const std::string& path, const char* name) {
  std::string value(256, '\0');
  const ssize_t size = getxattr(path.c_str(), name, value.data(), value.size());
  value.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return value;
}

// A new file would carry none of this over: with the ACL gone the other
// user could no longer write, and the group bits, which show the ACL's
// mask, would let the group write; an attribute would be gone; another
// name of the file would keep the old bytes. Such a file is written in
// place, by root and by an owner that could give a new file its owner and
// group.
TEST(ReplaceFile, AFileWithAnAclAnAttributeOrASecondLinkIsWrittenInPlace) {
  struct Case {
    const char* what;
    const char* attribute;  // or none
    std::string value;
    bool second_link;
  };
  const Case cases[] = {
      {"an ACL that lets another user write", "system.posix_acl_access",
       AclLettingReadAndWrite(kOtherUser), false},
      {"a user attribute", "user.note", "set by hand", false},
      {"a second hard link", nullptr, "", true},
  };
  const bool root = geteuid() == 0;
  for (const bool by_owner : {false, true}) {
    if (by_owner && !root) continue;  // then the process is a plain user already
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (by_owner ? ", saved by the owner" : ""));
      TempDir dir;
      const std::string file = dir.Write("Quorvelin.ini", kOld);
      const std::string other_name = dir.File("other.ini");
      ASSERT_EQ(chmod(file.c_str(), 0640), 0);
      ASSERT_TRUE(!c.attribute ||
                  setxattr(file.c_str(), c.attribute, c.value.data(), c.value.size(), 0) == 0)
          << Failed("setxattr");
      ASSERT_TRUE(!c.second_link || link(file.c_str(), other_name.c_str()) == 0) << Failed("link");
      if (by_owner) {
        ASSERT_EQ(chown(dir.path().c_str(), kUser, kUserGroup), 0);
        ASSERT_EQ(chown(file.c_str(), kUser, kUserGroup), 0);
      }
      const struct stat before = StatOf(file);

      const std::string answer =
          by_owner ? ReplaceOutcomeAsUser(file, kNew) : ReplaceOutcome(file, kNew);
      EXPECT_EQ(answer, "");
      EXPECT_EQ(ReadFile(file), kNew);
      const struct stat saved = StatOf(file);
      EXPECT_EQ(saved.st_ino, before.st_ino);
      EXPECT_EQ(saved.st_mode, before.st_mode);
      EXPECT_EQ(c.attribute ? AttributeOf(file, c.attribute) : "", c.value);
      EXPECT_EQ(ReadFile(other_name), c.second_link ? kNew : "");
    }
  }
}

// Without its old bytes an in-place write that failed part-way could put
// nothing back: a file its user may write but not read is left alone
// wherever it would be written in place. Root reads any file, so its test
// saves as kUser.
TEST(ReplaceFile, AnInPlaceWriteIsRefusedWhereTheOldContentCannotBeRead) {
  const bool root = geteuid() == 0;
  for (const bool second_link : {false, true}) {
    SCOPED_TRACE(second_link ? "a second link" : "a folder that takes no new file");
    TempDir dir;
    const std::string file = dir.Write("Quorvelin.ini", kOld);
    ASSERT_TRUE(!second_link || link(file.c_str(), dir.File("other.ini").c_str()) == 0)
        << Failed("link");
    if (root) {
      ASSERT_EQ(chown(dir.path().c_str(), kUser, kUserGroup), 0);
      ASSERT_EQ(chown(file.c_str(), kUser, kUserGroup), 0);
    }
    const std::set<std::string> entries = FolderEntries(dir.path());
    std::string answer;
    {
      ScopedUnreadable write_only(file);  // first: a closed folder hides it from root
      std::optional<ScopedReadOnly> no_new_files;
      if (!second_link) no_new_files.emplace(dir.path());
      answer = root ? ReplaceOutcomeAsUser(file, kNew) : ReplaceOutcome(file, kNew);
    }
    EXPECT_EQ(answer, "Cannot write " + file +
                          ": its old content cannot be read to keep it: Permission denied");
    EXPECT_EQ(ReadFile(file), kOld);
    EXPECT_EQ(FolderEntries(dir.path()), entries);
  }
}

// The old content is read for the file about to be written, not for
// whatever bears its name by then: a name that moved to another file
// (here while the old file's attributes are listed, between its opening
// and the read) is refused, and neither file is written.
TEST(ReplaceFile, AnInPlaceWriteIsRefusedWhereAnotherFileTookTheNameMeanwhile) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  const std::string other = dir.Write("other.ini", kNew);
  const std::string note = "kept in place";
  ASSERT_EQ(setxattr(file.c_str(), "user.note", note.data(), note.size(), 0), 0)
      << Failed("setxattr");
  const int old_file = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(old_file, 0) << Failed("open");
  FileReplaceSteps steps;
  steps.list_attributes = [&other, &file](int fd, char* names, std::size_t size) {
    rename(other.c_str(), file.c_str());
    return flistxattr(fd, names, size);
  };
  EXPECT_EQ(ReplaceOutcomeOfUser(dir, file, "[ServerInfo]\n", steps),
            "Cannot write " + file + ": its old content cannot be read to keep it: another file "
            "took its name");
  EXPECT_EQ(ReadFile(file), kNew);
  EXPECT_EQ(ReadFile("/proc/self/fd/" + std::to_string(old_file)), kOld);
  close(old_file);
}

// A folder's default ACL is given to every file made in it. This one
// names kOtherUser.
void GiveNewFilesAnAcl(const std::string& folder) {
  const std::string acl = AclLettingReadAndWrite(kOtherUser);
  ASSERT_EQ(setxattr(folder.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0), 0)
      << Failed("setxattr");
}

// The names of a file's extended attributes, one after the other.
std::string AttributeNamesOf(const std::string& path) {
  std::string names(1024, '\0');
  const ssize_t size = listxattr(path.c_str(), names.data(), names.size());
  names.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return names;
}

// The new file stands in for one that had no ACL: the folder's default ACL
// would let the other user in and take from the group what the mode gives
// it, while the mode would still show the same bits.
TEST(ReplaceFile, ANewFileCarriesNoAclItsFolderWouldGiveIt) {
  const bool root = geteuid() == 0;
  for (const bool by_user : {false, true}) {
    if (by_user && !root) continue;  // then the process is a plain user already
    for (const mode_t mode : {0640u, 0660u}) {
      SCOPED_TRACE(std::to_string(mode) + (by_user ? ", saved by the owner" : ""));
      TempDir dir;
      const std::string file = dir.Write("Quorvelin.ini", kOld);
      ASSERT_EQ(chmod(file.c_str(), mode), 0);
      GiveNewFilesAnAcl(dir.path());
      const ino_t inode = StatOf(file).st_ino;

      const std::string answer =
          by_user ? ReplaceOutcomeOfUser(dir, file, kNew) : ReplaceOutcome(file, kNew);
      EXPECT_EQ(answer, "");
      EXPECT_EQ(ReadFile(file), kNew);
      const struct stat saved = StatOf(file);
      EXPECT_NE(saved.st_ino, inode);
      EXPECT_EQ(saved.st_mode & 07777, mode);
      EXPECT_EQ(AttributeNamesOf(file), "");
      // A file new to the folder has no old one to stand in for.
      Replace(dir.File("session.log"), kNew);
      EXPECT_EQ(AttributeNamesOf(dir.File("session.log")), "system.posix_acl_access\0"s);
    }
  }
}

// Whether the file at hand is the new one, not yet named Quorvelin.ini.
bool IsNewFile(int fd) {
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).filename() != "Quorvelin.ini";
}

// The list of attributes decides: a file system that keeps none refuses to
// list them, and its files carry none, so a new file loses nothing and a
// file its user may write but not read (which could not be written in
// place) is saved. A new file that may keep what its folder gave it makes
// way for an in-place write.
TEST(ReplaceFile, TheListOfAttributesDecidesWhetherANewFileMayStandInForTheOld) {
  struct Case {
    const char* what;
    mode_t mode;
    ListAttributes list;
    bool new_file;
  };
  // Lists as the kernel does, but for the new file (or else the old one)
  // fails with `error`, or with none names an attribute the file lacks.
  const auto listing = [](bool for_new_file, int error) -> ListAttributes {
    return [=](int fd, char* names, std::size_t size) -> ssize_t {
      const std::string_view lacked("user.kept", sizeof "user.kept");
      if (IsNewFile(fd) != for_new_file) return flistxattr(fd, names, size);
      errno = error;
      if (error != 0) return -1;
      if (size >= lacked.size()) lacked.copy(names, size);
      return static_cast<ssize_t>(lacked.size());
    };
  };
  const Case cases[] = {
      {"a file system without attributes", 0200,
       [](int, char*, std::size_t) -> ssize_t {
         errno = ENOTSUP;
         return -1;
       },
       true},
      {"an old file whose attributes cannot be listed", 0640, listing(false, EIO), false},
      {"a new file whose attributes cannot be listed", 0640, listing(true, EIO), false},
      {"a new file with an attribute it cannot shed", 0640, listing(true, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir.Write("Quorvelin.ini", kOld);
    ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
    const ino_t inode = StatOf(file).st_ino;
    FileReplaceSteps steps;
    steps.list_attributes = c.list;
    EXPECT_EQ(ReplaceOutcomeOfUser(dir, file, kNew, steps), "");
    const struct stat saved = StatOf(file);
    EXPECT_EQ(saved.st_ino != inode, c.new_file);
    EXPECT_EQ(saved.st_mode & 07777, c.mode);
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(file), kNew);
    EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
  }
}

// Only a process of one thread may enter a new user namespace, and the
// thread sanitizer's own thread comes back in a forked child.
const char kTooManyThreads[] = "too many threads";

bool WriteProcFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text << std::flush;
  return out.good();
}

// Root of a user namespace that maps no id but root's own: it may give
// files away, yet the kernel gives none to an owner the namespace has no
// name for, as on a container's bind-mounted host files.
std::string BecomeRootOfANamespaceMappingOnlyRoot() {
  if (unshare(CLONE_NEWUSER) != 0) {
    if (errno == EINVAL) return kTooManyThreads;
    return errno == EPERM ? kNotPermittedHere : Failed("unshare");
  }
  if (!WriteProcFile("/proc/self/uid_map", "0 0 1")) return Failed("uid_map");
  if (!WriteProcFile("/proc/self/setgroups", "deny")) return Failed("setgroups");
  if (!WriteProcFile("/proc/self/gid_map", "0 0 1")) return Failed("gid_map");
  return "";
}

TEST(ReplaceFile, ANewFileTheKernelWillNotGiveTheOldOwnerMakesWayForAnInPlaceWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give the file to another owner";
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kOld);
  ASSERT_EQ(chown(file.c_str(), kUser, kUserGroup), 0);
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  const ino_t inode = StatOf(file).st_ino;
  const std::string answer = InForkedChild([&] {
    const std::string failure = BecomeRootOfANamespaceMappingOnlyRoot();
    return failure.empty() ? ReplaceOutcome(file, kNew) : failure;
  });
  if (answer == kNotPermittedHere) GTEST_SKIP() << "user namespaces are not permitted here";
  if (answer == kTooManyThreads)
    GTEST_SKIP() << "a process with threads cannot enter a user namespace";
  EXPECT_EQ(answer, "");
  EXPECT_EQ(ReadFile(file), kNew);
  const struct stat saved = StatOf(file);
  EXPECT_EQ(saved.st_ino, inode);
  EXPECT_EQ(saved.st_uid, kUser);
  EXPECT_EQ(saved.st_gid, kUserGroup);
  EXPECT_EQ(saved.st_mode & 07777, 0666u);
  EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
}

}  // namespace
