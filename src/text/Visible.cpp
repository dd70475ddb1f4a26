// Control bytes made visible, characters counted; see Visible.h.
#include "text/Visible.h"

#include <algorithm>

#include "text/Sjis.h"

namespace hollowmere::text {
namespace {

bool IsControl(unsigned char b, LineBreaks breaks) {
  if (b == '\r' || b == '\n') return breaks == LineBreaks::Show;
  return b < 0x20 || b == 0x7F;
}

}  // namespace

std::string VisibleControls(std::string_view cp932, LineBreaks breaks) {
  // Most texts have none: they are copied once, not built byte by byte.
  const auto control = [breaks](char c) { return IsControl(static_cast<unsigned char>(c), breaks); };
  if (std::none_of(cp932.begin(), cp932.end(), control)) return std::string(cp932);
  std::string out;
  out.reserve(cp932.size() + 16);
  for (std::size_t i = 0; i < cp932.size();) {
    const std::size_t n = BrowserCharLength(cp932, i);
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (n == 1 && IsControl(b, breaks)) {
      out += '^';
      out += b == 0x7F ? '?' : static_cast<char>(b + 0x40);
    } else {
      out.append(cp932, i, n);
    }
    i += n;
  }
  return out;
}

std::string CutChars(std::string_view cp932, std::size_t limit) {
  std::size_t pos = 0;
  for (std::size_t count = 0; pos < cp932.size() && count < limit; ++count) pos += CharLength(cp932, pos);
  if (pos >= cp932.size()) return std::string(cp932);
  // "…" in CP932.
  return std::string(cp932.substr(0, pos)) + "\x81\x63";
}

}  // namespace hollowmere::text
