// Percent-decoding and file URL paths; scans step over Shift_JIS characters
// whole, so a trail byte is never taken for "%".
#include "text/Url.h"

#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere::text {

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t len = CharLength(text, i);
    if (len != 1 || text[i] != '%') {
      out.append(text.data() + i, len);
      i += len;
      continue;
    }
    ++i;
    // The (at most) two characters after the percent sign go with it.
    int value = 0;
    bool hex = false;
    for (int taken = 0; taken < 2 && i < n; ++taken) {
      const std::size_t clen = CharLength(text, i);
      const int digit = clen == 1 ? HexDigitValue(text[i]) : -1;
      if (taken == 0) hex = true;
      if (digit < 0) hex = false;
      value = value * 16 + (digit < 0 ? 0 : digit);
      i += clen;
    }
    if (hex && value >= 1 && value <= 255) out += static_cast<char>(value);
  }
  return out;
}

std::string FileUrlPath(std::string_view path) {
  std::string s = ReplaceAll(path, "%", "%25");
  s = ReplaceAll(s, "#", "%23");
  return ReplaceAll(s, "?", "%3F");
}

}  // namespace hollowmere::text
