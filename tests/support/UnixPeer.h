// The other end of a window's Unix-domain socket, as a hostile or slow peer
// would hold it: frames written byte for byte, the size field free to lie.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace hollowmere::testing {

// `v` as 32-bit little-endian bytes, a frame field as the wire carries it.
std::string Le32(std::uint32_t v);

// A blocking client socket connected to `path`, or a closed one when the
// connection is refused. A read waits 10 seconds at most, so a window that
// never answers fails a test instead of hanging it.
TUniqueFd ConnectUnix(const std::string& path);

}  // namespace hollowmere::testing
