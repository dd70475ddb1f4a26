// Where the bracket directives of a pattern line ("%b", "%c") stop in a
// script. Both walk whole characters, a backslash taking the character after
// it along, up to the first unescaped "]" or the end of the script.
// The walk from an offset is one step followed by the walk from where that
// step lands, so the answers for all offsets of a script follow from one pass
// over it, from its end backwards. TBracketCloses makes that pass once the
// walks in a script have gone a few hundred bytes, and answers from it from
// then on: a script of many unclosed brackets costs time in proportion to its
// length, not to its length times its brackets. It keeps the answers of a
// few offsets in every 16 that every walk passes through, so a walk takes at
// most 16 bytes before it is answered, and the table costs under a
// byte per script byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hollowmere {

// Offset of the first "]" reached from `from` by that walk, or of the NUL
// that ends `text` when none is. `from` lies inside the text.
std::size_t FindBracketClose(const char* text, std::size_t from);

class TBracketCloses {
 public:
  // Bytes walked plainly before the table is made: short scripts, and
  // scripts with a few short brackets, never make it.
  static constexpr std::size_t kPlainWalk = 1024;

  explicit TBracketCloses(std::size_t plainWalk = kPlainWalk) : plainWalk_(plainWalk) {}

  // Forgets every answer and starts on `text`, whose first NUL is at `end`.
  void Reset(const char* text, std::size_t end);

  const char* Text() const { return text_; }

  // The same answer as FindBracketClose(Text(), from), for from <= end.
  std::size_t CloseFrom(std::size_t from) {
    if (tabled_) return Tabled(from);
    return Walk(from);
  }

 private:
  // The answers kept: offsets whose remainder by 16 is below kKept, which a
  // walk (steps of one to three bytes) cannot pass over.
  static constexpr std::size_t kKept = 3;
  static bool IsKept(std::size_t at) { return (at & 15) < kKept; }
  static std::size_t Slot(std::size_t at) { return (at >> 4) * kKept + (at & 15); }

  std::size_t Walk(std::size_t from);
  std::size_t Tabled(std::size_t from) const;

  std::size_t plainWalk_;
  const char* text_ = nullptr;
  std::size_t end_ = 0;
  bool tabled_ = false;
  std::size_t walked_ = 0;
  // The answers at the kept offsets up to the end, once made.
  std::vector<uint32_t> close_;
};

}  // namespace hollowmere
