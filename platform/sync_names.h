#pragma once
// Named objects would be shared between processes; the gateway never
// names one, so the layer has only unnamed objects.
#include <cerrno>

#include "platform/handle.h"

namespace platform_detail {

inline bool IsUnnamed(const char* name) {
  if (name == nullptr || name[0] == '\0') return true;
  SetLastError(ENOTSUP);
  return false;
}

}  // namespace platform_detail
