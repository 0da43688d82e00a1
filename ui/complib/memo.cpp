#include "ui/complib/memo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QTextBlock>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "ui/complib/text.h"

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TMemoLines::Add(const AnsiString& line) {
  memo_.appendPlainText(ToQString(line));
}

int TMemoLines::Count() const {
  // An empty view has no line, although its document holds one empty block.
  if (memo_.document()->isEmpty()) return 0;
  return memo_.document()->blockCount();
}

AnsiString TMemoLines::Strings(int index) const {
  return ToAnsiString(memo_.document()->findBlockByNumber(index).text());
}

void TMemoLines::Clear() { memo_.clear(); }

namespace {

[[noreturn]] void ThrowFileError(const char* what, const AnsiString& name,
                                 int error) {
  throw std::runtime_error(std::string(what) + " \"" + name.str() + "\". " +
                           std::strerror(error));
}

// The file the lines are meant for: the target of a symbolic link, which
// the rename would otherwise replace by a file of its own.
std::string FileBehind(const std::string& name) {
  std::error_code error;
  if (!std::filesystem::is_symlink(name, error)) return name;
  const std::filesystem::path target = std::filesystem::canonical(name, error);
  return error ? name : target.string();
}

// The replaced file keeps its permissions; a new one gets the usual ones.
mode_t ModeOfSavedFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// 0, or the errno of the write that failed.
int WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace

void TMemoLines::SaveToFile(const AnsiString& file_name) const {
  std::string text;
  const int count = Count();
  for (int i = 0; i < count; ++i) text += Strings(i).str() + "\r\n";

  // A save that fails part-way (a full disk) must not cost the operator
  // the file that was there: the old one goes only once the new is whole.
  const std::string target = FileBehind(file_name.str());
  std::string temporary = target + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) ThrowFileError("Cannot create file", file_name, errno);
  int error = WriteAll(fd, text);
  if (error == 0 && fchmod(fd, ModeOfSavedFile(target)) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
    error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    ThrowFileError("Cannot write file", file_name, error);
  }
}
