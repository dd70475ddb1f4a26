// The bracket walk, plain and remembered.
#include "script/BracketScan.h"

#include <limits>

#include "text/Sjis.h"

namespace hollowmere {
namespace {

// One step of the walk from `p`, which is neither "]" nor the NUL: a
// backslash with the character after it, a double-byte character, or one
// byte. A lead byte or backslash just before the NUL steps onto the NUL.
inline std::size_t StepLength(const char* p) {
  const auto charAt = [](const char* c) -> std::size_t {
    return (text::IsLeadByte(c[0]) && c[1] != '\0') ? 2 : 1;
  };
  if (p[0] == '\\') return p[1] == '\0' ? 1 : 1 + charAt(p + 1);
  return charAt(p);
}

inline bool Stops(char c) { return c == ']' || c == '\0'; }

}  // namespace

std::size_t FindBracketClose(const char* text, std::size_t from) {
  std::size_t at = from;
  while (!Stops(text[at])) at += StepLength(text + at);
  return at;
}

void TBracketCloses::Reset(const char* text, std::size_t end) {
  text_ = text;
  end_ = end;
  remembering_ = false;
  walked_ = 0;
}

std::size_t TBracketCloses::Walk(std::size_t from) {
  if (!remembering_) {
    // Most scripts walk a few short brackets: those walk plainly. Once the
    // plain walks of this text have gone plainWalk_ bytes, the rest is
    // remembered (answers are kept as offset + 1 in 32 bits, so a longer
    // text always walks plainly).
    const bool mayRemember = end_ < std::numeric_limits<uint32_t>::max();
    std::size_t at = from;
    while (!Stops(text_[at]) && (walked_ < plainWalk_ || !mayRemember)) {
      const std::size_t step = StepLength(text_ + at);
      at += step;
      walked_ += step;
    }
    if (Stops(text_[at])) return at;
    close_.assign(end_ + 1, 0);
    remembering_ = true;
  }
  // Walk to a stop or to an offset already answered...
  std::size_t at = from;
  std::size_t answer;
  for (;;) {
    if (close_[at] != 0) {
      answer = close_[at] - 1;
      break;
    }
    if (Stops(text_[at])) {
      answer = at;
      close_[at] = static_cast<uint32_t>(at + 1);
      break;
    }
    at += StepLength(text_ + at);
  }
  // ...then give every offset passed on the way the same answer.
  const std::size_t reached = at;
  for (at = from; at != reached; at += StepLength(text_ + at)) {
    close_[at] = static_cast<uint32_t>(answer + 1);
  }
  return answer;
}

}  // namespace hollowmere
