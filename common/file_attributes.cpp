#include "common/file_attributes.h"

#include <sys/xattr.h>

#include <cerrno>

namespace {

// The list as the kernel gives it: names, each ended by a NUL. A list
// that grew between the two calls is an error too (ERANGE).
int AttributeList(int fd, const ListAttributes& list, std::string& names) {
  names.clear();
  const ssize_t size = list(fd, nullptr, 0);
  if (size <= 0) return size == 0 || errno == ENOTSUP ? 0 : errno;
  names.resize(static_cast<std::size_t>(size));
  const ssize_t got = list(fd, names.data(), names.size());
  if (got < 0) return errno;
  names.resize(static_cast<std::size_t>(got));
  return 0;
}

}  // namespace

int AttributeNames(int fd, const ListAttributes& list, std::vector<std::string>& names) {
  std::string all;
  if (const int error = AttributeList(fd, list, all); error != 0) return error;
  names.clear();
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find('\0', start);
    names.push_back(all.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 0;
}

int RemoveAllAttributes(int fd, const ListAttributes& list) {
  std::vector<std::string> names;
  if (const int error = AttributeNames(fd, list, names); error != 0) return error;
  for (const std::string& name : names)
    if (::fremovexattr(fd, name.c_str()) != 0) return errno;
  return 0;
}
