#include "common/write_all.h"

#include <unistd.h>

#include <cerrno>

std::size_t WriteAll(int fd, std::string_view bytes) {
  std::size_t total = 0;
  while (total < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + total, bytes.size() - total);
    if (written < 0) {
      if (errno == EINTR) continue;
      break;
    }
    total += static_cast<std::size_t>(written);
  }
  return total;
}
