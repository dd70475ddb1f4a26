// Text-to-integer conversion. TryStrToInt takes the forms the program's
// settings and surface tags are written in: leading spaces skipped, an
// optional sign, then decimal digits, or hexadecimal after "$", "x" or "0x"
// (either case). Nothing may follow the digits. Hexadecimal may use all 32
// bits ("$FFFFFFFF" is -1); decimal must fit a signed 32-bit integer.
// TryDecimalToInt takes decimal alone, for numbers that only ever come
// written in decimal (command-line counts, window handles).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hollowmere::text {

std::optional<int32_t> TryStrToInt(std::string_view s);

// An optional sign and decimal digits, nothing before or after, within a
// signed 32-bit integer: "010" is 10, while " 10", "$10" and "0x10" are no
// number.
std::optional<int32_t> TryDecimalToInt(std::string_view s);

// Value of one hexadecimal digit (either case), or -1.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// TryStrToInt or the default.
inline int32_t StrToIntDef(std::string_view s, int32_t def) {
  const auto v = TryStrToInt(s);
  return v ? *v : def;
}

// StrToInt that raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& s);

}  // namespace hollowmere::text
