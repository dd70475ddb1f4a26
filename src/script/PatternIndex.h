// Which pattern lines can match at a script position, by the one script byte
// that most lines fix: the byte after the backslash for a tag line, the byte
// after the percent sign for a meta line, and the plain byte after that when
// a line has one. Lines are tried in their file order all the same; the
// index only leaves out lines whose fixed bytes differ, so a backslash costs
// the few lines of its letter rather than every line.
// Each candidate also knows how many leading bytes of its body (the part
// matched against the script) it shares with the candidate before it: when
// the line before failed on bytes that this one shares, this one fails there
// too, since matching never looks back, and need not be tried.
// Invariant: for every byte, its list holds, in line order, each non-empty
// line that fixes that byte and each line that fixes none (a directive first,
// a line too short to fix one, and a tag line of the wrong form, which must
// still be reached to be reported, and so shares nothing); for every next
// byte, that list less the lines whose plain second byte differs (within a
// bound on their total size, beyond which a first byte keeps its one list).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hollowmere {

struct TPatternCandidate {
  uint32_t Line;    // line number from 0
  uint32_t Shared;  // leading body bytes equal to those of the candidate before
  // For a line in the list of its fixed byte (not NUL) whose second body
  // byte is plain too: that byte, which the script's next byte must equal.
  bool HasSecond;
  char Second;
};

class TPatternIndex {
 public:
  // `bodyAt`: where a line's body starts (1 for tag lines, after the
  // backslash or "!"; 0 for meta lines); its first byte is the fixed one.
  // `isTagList`: lines must begin with a backslash or "!"; others fix no byte.
  void Build(const std::vector<std::string>& lines, std::size_t bodyAt, bool isTagList);

  // The lines to try, in order, when the script byte is `b` and the one
  // after it `next`: those of `b`'s list whose plain second body byte, if
  // they have one, is `next` (for a very long pattern list, possibly all of
  // `b`'s list: a line whose HasSecond byte differs must still be passed
  // over); Shared counts against the line before in this list. A script of
  // many tags of one letter then tries only the lines that can still match.
  const std::vector<TPatternCandidate>& Candidates(char b, char next) const {
    const auto& bySecond = bySecond_[static_cast<unsigned char>(b)];
    return bySecond ? (*bySecond)[static_cast<unsigned char>(next)] : byByte_[static_cast<unsigned char>(b)];
  }

 private:
  using SecondLists = std::array<std::vector<TPatternCandidate>, 256>;
  std::array<std::vector<TPatternCandidate>, 256> byByte_;
  // Made once by Build and never changed, so copies of a parser share them.
  std::array<std::shared_ptr<const SecondLists>, 256> bySecond_;
};

}  // namespace hollowmere
