// Reading a 32-bit integer from text the way surface tags and surface keys
// are written: leading spaces skipped, an optional sign, then decimal digits,
// or hexadecimal after "$", "x" or "0x" (either case); nothing may follow.
// Decimal must fit a signed 32-bit integer; hexadecimal may use all 32 bits
// ("$FFFFFFFF" is -1).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace hollowmere::detail {

std::optional<int32_t> TryParseInt32(std::string_view s);

}  // namespace hollowmere::detail
