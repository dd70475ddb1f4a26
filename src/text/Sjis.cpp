// Shift_JIS scanning helpers; see Sjis.h for the character-boundary invariant.
#include "text/Sjis.h"

#include <string.h>

namespace hollowmere::text {
namespace {

// Byte-wise first occurrence of `needle` (not empty) at or after `from`.
// glibc's memmem skips ahead on every mismatch; the byte-at-a-time search of
// string_view::find compares again at each occurrence of the needle's first
// byte, which in page HTML is every "<".
std::size_t FindBytes(std::string_view text, std::string_view needle, std::size_t from) {
  if (from > text.size()) return std::string_view::npos;
  const void* hit = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit == nullptr ? std::string_view::npos
                        : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

}  // namespace

bool TLineReader::Next(std::string_view& line) {
  const std::size_t size = text_.size();
  if (pos_ >= size) return false;
  // CR and LF are never the second byte of a character, so a lead byte
  // before one stands alone: the break still ends the line (a cut character
  // must not join two lines of a log into one). That lets the breaks be
  // looked for byte-wise: the next LF (kept until it is passed, so lines
  // ended by lone CRs do not search the rest of the text each time), then
  // a CR before it.
  if (lf_ <= pos_) {  // (at pos_ itself it is found again at once)
    const void* lf = ::memchr(text_.data() + pos_, '\n', size - pos_);
    lf_ = lf == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data());
  }
  const void* cr = ::memchr(text_.data() + pos_, '\r', lf_ - pos_);
  if (cr != nullptr) {
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(cr) - text_.data());
    line = text_.substr(pos_, at - pos_);
    pos_ = at + (at + 1 < size && text_[at + 1] == '\n' ? 2 : 1);
    return true;
  }
  line = text_.substr(pos_, lf_ - pos_);
  pos_ = lf_ + 1;
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  TLineReader reader(text);
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  return lines;
}

std::string JoinCrlf(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

std::size_t Find(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  std::size_t at = FindBytes(text, needle, from);
  while (at != std::string_view::npos) {
    // A byte that is not a lead byte always ends a character, so the run of
    // lead bytes before `at` pairs up from its start: `at` begins a character
    // exactly when that run is even.
    std::size_t leads = 0;
    while (leads < at && IsLeadByte(text[at - 1 - leads])) ++leads;
    if (leads % 2 == 0) return at;
    at = FindBytes(text, needle, at + 1);
  }
  return std::string_view::npos;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t at = Find(text, from, 0);
  while (at != std::string_view::npos) {
    out.append(text, copied, at - copied);
    out.append(to);
    copied = at + from.size();
    at = Find(text, from, copied);
  }
  out.append(text, copied, std::string_view::npos);
  return out;
}

std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to) {
  std::string out(text);
  if (from.empty()) return out;
  const std::size_t at = Find(text, from, 0);
  if (at != std::string_view::npos) out.replace(at, from.size(), to);
  return out;
}

}  // namespace hollowmere::text
