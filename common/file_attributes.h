#pragma once
// A file's extended attributes, an ACL among them, named through a step
// that lists them, so that a test can stand in for a file system that
// keeps none. Such a file system lists none: its files carry none.
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// flistxattr, or what stands in for it.
using ListAttributes = std::function<ssize_t(int fd, char* names, std::size_t size)>;

// 0 with the names of the open file's attributes, or the error.
int AttributeNames(int fd, const ListAttributes& list, std::vector<std::string>& names);

// Takes every attribute off the open file: 0, or the error of the first
// that could not be listed or taken off.
int RemoveAllAttributes(int fd, const ListAttributes& list);
