// Finding a fixed byte string (a pattern's required prefix) in a text, much
// faster than memmem for the short needles patterns give: a vector compare of
// the needle's first and last bytes at 16 or 32 positions at once, and a full
// compare only where both agree.
//
// Invariant: Find returns exactly what a byte-by-byte search would, the first
// occurrence at or after `from` (FindOrNul: of the needle or of a NUL byte);
// neither reads outside [text, text + size).
#pragma once

#include <cstddef>
#include <string>

namespace hollowmere::regex {

class TSubstringFinder {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // `vectorWidth`: the widest compare used, 32 (when the processor has it)
  // or 16 bytes.
  explicit TSubstringFinder(std::string needle = std::string(), int vectorWidth = 32);

  const std::string& Needle() const { return needle_; }
  std::size_t Find(const unsigned char* text, std::size_t size, std::size_t from) const;
  // The first position at or after `from` that holds a NUL byte or where the
  // needle starts, whichever comes first; npos when there is neither.
  std::size_t FindOrNul(const unsigned char* text, std::size_t size, std::size_t from) const;

 private:

  std::string needle_;
  bool avx2_ = false;
};

}  // namespace hollowmere::regex
