// Conversion between code page 932 and UTF-8, used only where text meets the
// user (window, command line, file names shown) and to turn the program's own
// Japanese texts, kept readable as UTF-8 in the source, into their CP932 bytes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace hollowmere::text {

class EEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Strict conversions: bytes that do not convert raise EEncodingError.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// Lenient conversion for display: an undecodable byte becomes U+FFFD and the
// rest of the text still shows.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

// The CP932 bytes of one of the program's own texts written as UTF-8.
inline std::string Sjis(std::string_view utf8) { return Utf8ToCp932(utf8); }

}  // namespace hollowmere::text
