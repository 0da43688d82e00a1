#pragma once
// Fills the "%s" of an error text with string arguments without handing the
// text to printf: the text comes from a file, and a wrong file must never
// be able to crash the gateway or write memory.
//
// For a text whose only conversions are "%s" (at most as many as the
// arguments) and "%%", the result is exactly what printf would print.
// Anything else is left as written: "%d", "%n", "%5s", a lone "%" at the
// end, and every "%s" beyond the arguments.
#include <initializer_list>
#include <string>

// As with printf, the text and each argument end at their first NUL byte.
std::string FillStringArgs(const char* text,
                           std::initializer_list<const char*> arguments);
