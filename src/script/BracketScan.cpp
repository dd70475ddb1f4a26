// The bracket walk, plain and tabled.
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
  tabled_ = false;
  walked_ = 0;
}

std::size_t TBracketCloses::Walk(std::size_t from) {
  // Answers are kept in 32 bits, so a longer text always walks plainly.
  const bool mayTable = end_ < std::numeric_limits<uint32_t>::max();
  std::size_t at = from;
  while (!Stops(text_[at]) && (walked_ < plainWalk_ || !mayTable)) {
    const std::size_t step = StepLength(text_ + at);
    at += step;
    walked_ += step;
  }
  if (Stops(text_[at])) return at;
  // A step never leaves the text and always moves on by one to three bytes,
  // so every offset's answer is its own (a stop) or that of where its step
  // lands, already known when going backwards: the last three answers are
  // all the pass needs to keep in hand. Only the answers at the first three
  // offsets of every 16 are kept: no step can pass over all three.
  close_.assign(((end_ >> 4) + 1) * kKept, 0);
  std::size_t recent[4] = {};
  for (std::size_t i = end_ + 1; i-- > 0;) {
    const std::size_t answer = Stops(text_[i]) ? i : recent[(i + StepLength(text_ + i)) & 3];
    recent[i & 3] = answer;
    if (IsKept(i)) close_[Slot(i)] = static_cast<uint32_t>(answer);
  }
  tabled_ = true;
  return Tabled(from);
}

std::size_t TBracketCloses::Tabled(std::size_t from) const {
  std::size_t at = from;
  while (!Stops(text_[at])) {
    if (IsKept(at)) return close_[Slot(at)];
    at += StepLength(text_ + at);
  }
  return at;
}

}  // namespace hollowmere
