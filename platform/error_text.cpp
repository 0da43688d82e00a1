#include "platform/error_text.h"

#include <cstring>

bool SystemErrorMessage(int code, std::string& text) {
  // strerrordesc_np gives null for a code without a text, where strerror
  // would make up "Unknown error N".
  const char* description = code > 0 ? strerrordesc_np(code) : nullptr;
  if (description == nullptr) return false;
  text = description;
  return true;
}
