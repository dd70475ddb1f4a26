// Integer conversion; see Numbers.h for the accepted forms.
#include "text/Numbers.h"

#include "text/Error.h"

namespace hollowmere::text {

std::optional<int32_t> TryStrToInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == s.size()) return std::nullopt;
  uint64_t value = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > limit) return std::nullopt;
  }
  const uint32_t bits = static_cast<uint32_t>(value);
  const uint32_t result = negative ? (0u - bits) : bits;
  return static_cast<int32_t>(result);
}

std::optional<int32_t> TryDecimalToInt(std::string_view s) {
  const std::size_t start = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (start == s.size()) return std::nullopt;
  for (std::size_t i = start; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
  }
  // Only digits and a sign are left, which the general reading takes as decimal.
  return TryStrToInt(s);
}

int32_t StrToInt(const std::string& s) {
  const auto v = TryStrToInt(s);
  if (!v) throw InvalidIntegerError(s);
  return *v;
}

}  // namespace hollowmere::text
