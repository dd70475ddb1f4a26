// Shift_JIS (code page 932) byte-string helpers.
// Invariant kept by every function here: a lead byte (0x81-0x9F, 0xE0-0xFC)
// and the byte after it are one character, so a trail byte such as 0x5C is
// never seen as a backslash, and a match only ever starts on a character start.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere::text {

constexpr bool IsLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool IsLeadByte(char c) { return IsLeadByte(static_cast<unsigned char>(c)); }

// A byte that can be the second byte of a double-byte character. A lead
// byte followed by anything else forms no character; a reader that must
// agree with a browser's decoding (file names, markup) takes such a lead
// byte alone and reads the byte after it on its own.
constexpr bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
constexpr bool IsTrailByte(char c) { return IsTrailByte(static_cast<unsigned char>(c)); }

// Bytes taken by the character at `pos`: 2 for a lead byte with a byte after
// it, otherwise 1 (a lead byte that ends the text stands alone).
inline std::size_t CharLength(std::string_view s, std::size_t pos) {
  return (IsLeadByte(s[pos]) && pos + 1 < s.size()) ? 2 : 1;
}

// The same as a browser decoding the page's Shift_JIS reads it: 2 only for
// a lead byte followed by a possible second byte; any other lead byte
// stands alone and the byte after it is read anew. Escaping for markup
// steps with this, so a cut character cannot hide a "<" or a quote.
inline std::size_t BrowserCharLength(std::string_view s, std::size_t pos) {
  return (IsLeadByte(s[pos]) && pos + 1 < s.size() && IsTrailByte(s[pos + 1])) ? 2 : 1;
}

// Lines split at CR LF, lone CR or lone LF; a break at the very end starts no
// further line, so "" gives no lines and "a\r\n" gives {"a"}.
std::vector<std::string> SplitLines(std::string_view text);

// The lines SplitLines gives, one at a time and without copying them: views
// into the text, which must outlive the reader.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text) : text_(text) {}
  // The next line, or false when there is none.
  bool Next(std::string_view& line);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t lf_ = 0;  // the first LF at or after pos_, or the size; looked for again when not past pos_
};

// Every line followed by CR LF.
std::string JoinCrlf(const std::vector<std::string>& lines);

// First occurrence of `needle` starting on a character boundary at or after
// the character boundary `from`; npos when there is none.
std::size_t Find(std::string_view text, std::string_view needle, std::size_t from = 0);
inline bool Contains(std::string_view text, std::string_view needle) {
  return Find(text, needle) != std::string_view::npos;
}

// Character-aware replacement, scanning left to right without rescanning what
// was inserted. An empty `from` leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to);

}  // namespace hollowmere::text
