#include "common/string_args.h"

std::string FillStringArgs(const char* text,
                           std::initializer_list<const char*> arguments) {
  std::string out;
  if (text == nullptr) return out;
  const char* const* next_argument = arguments.begin();
  for (const char* c = text; *c != '\0'; ++c) {
    if (c[0] == '%' && c[1] == '%') {
      out += '%';
      ++c;
    } else if (c[0] == '%' && c[1] == 's' &&
               next_argument != arguments.end()) {
      if (*next_argument != nullptr) out += *next_argument;
      ++next_argument;
      ++c;
    } else {
      out += *c;  // plain text, or a conversion we do not fill
    }
  }
  return out;
}
