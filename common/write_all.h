#pragma once
// Writing a whole byte string to a descriptor, however many calls it takes.
#include <cstddef>
#include <string_view>

// How many of the bytes were written; fewer than all with errno set.
std::size_t WriteAll(int fd, std::string_view bytes);
