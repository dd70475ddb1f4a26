// The automaton's inner loops, inline so that both the searches and the
// replace-all loop compile them into their own bodies: one forward run of the
// automaton, and the unanchored (plain) search with its byte filters.
//
// Invariants: every tried start position is a character start (positions move
// by whole characters, and a candidate found by a byte search is checked to
// be one before the automaton runs); each tried position costs one forward
// run of the DFA and nothing backtracks. The byte filters of the plain search
// only skip positions at which the start state has no transition, so results
// equal those of trying every position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "regex/RegExpCompile.h"
#include "text/Sjis.h"

namespace hollowmere::regex::search {
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Runs the automaton from `state` at `pos` and returns the last position at
// which it was accepting, or kNone. With a separator (>= 0), a run that stops
// before that character or at the end of the text in a state that can take
// the line-tail code ends the match right there.
[[gnu::always_inline]] inline std::size_t Run(const TRE_DFA& dfa, const unsigned char* text, std::size_t pos, std::size_t end,
                       int32_t state, int separator) {
  const int32_t* table = dfa.RunTable();
  const uint8_t* accepting = dfa.AcceptingTable();
  std::size_t result = kNone;
  int32_t code = 0;
  for (;;) {
    if (accepting[state]) result = pos;
    if (pos >= end) {
      code = 0;
      break;
    }
    const unsigned char b = text[pos];
    int32_t next = table[state * 256 + b];
    if (next >= 0) {  // the common case: a one-byte character with a way on
      state = next;
      ++pos;
      continue;
    }
    std::size_t length = 1;
    code = b;
    if (next == TRE_DFA::kLeadByte) {
      if (pos + 1 < end) {
        code = b * 256 + text[pos + 1];
        next = dfa.NextOnDoubleByte(state, code);
        length = 2;
      } else {
        next = dfa.NextOnByte(state, b);  // a lead byte at the very end stands alone
      }
    }
    if (next < 0) break;
    state = next;
    pos += length;
  }
  if (separator >= 0 && (code == separator || code == 0) && dfa.HasLineTail(state)) result = pos;
  return result;
}

inline std::size_t CharLength(const unsigned char* text, std::size_t pos, std::size_t end) {
  return (text::IsLeadByte(text[pos]) && pos + 1 < end) ? 2 : 1;
}

// Whether `q` is a character start, given that `known` <= q is one. Only the
// run of lead-byte values just before q decides it: the byte before that run
// ends a character, and the run itself pairs up from there.
inline bool IsCharStart(const unsigned char* text, std::size_t known, std::size_t q) {
  std::size_t i = q;
  while (i > known && text::IsLeadByte(text[i - 1])) --i;
  return ((q - i) & 1) == 0;
}



// The leftmost-longest match of an unanchored pattern in [from, end): its
// start, with its end in `matchEnd`; kNone when there is none.
// With kStopAtNul, for an automaton that StopsAtNul() and whose start does
// not accept, the searched part ends at the first NUL at or after `from`
// instead: the result is the same as that of a search in [from, first NUL),
// found without looking for the NUL beforehand.
template <bool kStopAtNul = false>
[[gnu::always_inline]] inline std::size_t FindPlain(const TRE_DFA& dfa, const unsigned char* bytes, std::size_t end, std::size_t from,
                             std::size_t& matchEnd) {
  constexpr int32_t start = 0;
  if (from >= end) {
    matchEnd = end;
    return dfa.Accepting(start) ? end : kNone;
  }
  // An accepting start matches at the first position already.
  if (dfa.Accepting(start)) {
    matchEnd = Run(dfa, bytes, from, end, start, -1);
    return from;
  }

  std::size_t p = from;  // always a character start
  const TSubstringFinder& prefix = dfa.PrefixFinder();
  const int single = dfa.SingleFirstByte();
  if (!prefix.Needle().empty() || single >= 0) {
    // At a found prefix the run is known up to PrefixSkip() bytes in.
    const std::size_t skip = dfa.PrefixSkip();
    const int32_t skipState = skip == 0 ? start : dfa.PrefixState();
    while (p < end) {
      std::size_t q;
      if (kStopAtNul) {
        // The first NUL or candidate; no NUL lies between p and a candidate.
        q = (prefix.Needle().empty() ? dfa.SingleFirstByteFinder() : prefix).FindOrNul(bytes, end, p);
        if (q == TSubstringFinder::npos || bytes[q] == 0) return kNone;
      } else if (prefix.Needle().empty()) {
        const void* hit = std::memchr(bytes + p, single, end - p);
        if (hit == nullptr) return kNone;
        q = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
      } else {
        q = prefix.Find(bytes, end, p);
        if (q == TSubstringFinder::npos) return kNone;
      }
      if (!IsCharStart(bytes, p, q)) {
        p = q + 1;  // q is a trail byte, so the next byte starts a character
        continue;
      }
      const std::size_t r = Run(dfa, bytes, q + skip, end, skipState, -1);
      if (r != kNone) {
        matchEnd = r;
        return q;
      }
      p = q + CharLength(bytes, q, end);
      // A NUL read as the trail of a character still ends the searched part.
      if (kStopAtNul && bytes[p - 1] == 0) return kNone;
    }
    return kNone;
  }

  while (p < end) {
    if (dfa.CanStartWith(bytes[p])) {  // never a NUL when kStopAtNul
      const std::size_t r = Run(dfa, bytes, p, end, start, -1);
      if (r != kNone) {
        matchEnd = r;
        return p;
      }
    }
    p += CharLength(bytes, p, end);
    if (kStopAtNul && bytes[p - 1] == 0) return kNone;  // alone or as a trail byte
  }
  return kNone;
}

}  // namespace hollowmere::regex::search
