#pragma once
// A frame buffer of the gateway thread. The framing functions read into
// and build in buffers that their caller owns and sizes once per
// connection; a reading function takes the buffer's size as its room and
// never resizes it, so serving a request allocates nothing.
#include <cstdint>
#include <vector>

using Buffer = std::vector<std::uint8_t>;
