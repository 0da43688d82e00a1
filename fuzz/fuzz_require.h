#pragma once
// A property the fuzzed code must keep; a violation is a finding.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                           \
  do {                                                                    \
    if (!(condition)) {                                                   \
      std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, \
                   __FILE__, __LINE__);                                   \
      std::abort();                                                       \
    }                                                                     \
  } while (0)
