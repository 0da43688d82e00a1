#pragma once
// The operating system's own text for an error code (an errno value).
#include <string>

// True and the text when the system knows the code; false otherwise, the
// text then untouched. Callers build their own text for unknown codes.
bool SystemErrorMessage(int code, std::string& text);
