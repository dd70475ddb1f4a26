// Searching with the compiled automaton: leftmost start, longest end.
//
// Invariants: every tried start position is a character start (positions move
// by whole characters, and a candidate found by a byte search is checked to
// be one before the automaton runs); each tried position costs one forward
// run of the DFA and nothing backtracks. The byte filters of the plain search
// only skip positions at which the start state has no transition, so results
// equal those of trying every position.
#include <algorithm>
#include <cstring>

#include "regex/RegExpCompile.h"
#include "regex/bmRegExp.h"
#include "text/Sjis.h"

namespace hollowmere {

namespace {

using regex::TRE_DFA;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Runs the automaton from `state` at `pos` and returns the last position at
// which it was accepting, or kNone. With a separator (>= 0), a run that stops
// before that character or at the end of the text in a state that can take
// the line-tail code ends the match right there.
inline std::size_t Run(const TRE_DFA& dfa, const unsigned char* text, std::size_t pos, std::size_t end,
                       int32_t state, int separator) {
  std::size_t result = kNone;
  int32_t code = 0;
  for (;;) {
    if (dfa.Accepting(state)) result = pos;
    if (pos >= end) {
      code = 0;
      break;
    }
    const unsigned char b = text[pos];
    int32_t next;
    std::size_t length;
    if (text::IsLeadByte(b) && pos + 1 < end) {
      code = b * 256 + text[pos + 1];
      next = dfa.NextOnDoubleByte(state, code);
      length = 2;
    } else {
      code = b;
      next = dfa.NextOnByte(state, b);
      length = 1;
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

inline const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

std::optional<std::size_t> TMatchCORE::MatchLongest(std::string_view text, std::size_t pos, int32_t state) const {
  const int separator = LineSeparator() == mcls_CRLF ? '\r' : '\n';
  const std::size_t r = Run(CurrentDFA(), Bytes(text), pos, text.size(), state, separator);
  if (r == kNone) return std::nullopt;
  return r;
}

std::optional<std::size_t> TMatchCORE::MatchWithHead(std::string_view text, std::size_t pos, int32_t state) const {
  const TRE_DFA& dfa = CurrentDFA();
  if (!dfa.BeginsWithLineHead()) return MatchLongest(text, pos, state);
  const int32_t headState = dfa.NextOnLineHead(state);
  if (headState < 0) return std::nullopt;
  const auto h = MatchLongest(text, pos, headState);
  if (!h) return std::nullopt;
  const auto g = MatchLongest(text, pos, state);
  if (g && *g >= *h) return g;
  return h;
}

std::optional<TMatch> TMatchCORE::FindPlain(std::string_view text, std::size_t from) const {
  const TRE_DFA& dfa = CurrentDFA();
  const unsigned char* bytes = Bytes(text);
  const std::size_t end = text.size();
  const int32_t start = StartState();
  if (from >= end) {
    if (dfa.Accepting(start)) return TMatch{end, end};
    return std::nullopt;
  }
  // An accepting start matches at the first position already.
  if (dfa.Accepting(start)) return TMatch{from, Run(dfa, bytes, from, end, start, -1)};

  std::size_t p = from;  // always a character start
  auto tryAt = [&](std::size_t q) -> std::optional<TMatch> {
    const std::size_t r = Run(dfa, bytes, q, end, start, -1);
    if (r != kNone) return TMatch{q, r};
    return std::nullopt;
  };

  const std::string& prefix = dfa.RequiredPrefix();
  const int single = dfa.SingleFirstByte();
  if (!prefix.empty() || single >= 0) {
    while (p < end) {
      const void* hit = prefix.empty()
                            ? std::memchr(bytes + p, single, end - p)
                            : memmem(bytes + p, end - p, prefix.data(), prefix.size());
      if (hit == nullptr) return std::nullopt;
      const auto q = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
      if (!IsCharStart(bytes, p, q)) {
        p = q + 1;  // q is a trail byte, so the next byte starts a character
        continue;
      }
      if (auto m = tryAt(q)) return m;
      p = q + CharLength(bytes, q, end);
    }
    return std::nullopt;
  }

  while (p < end) {
    const unsigned char b = bytes[p];
    if (dfa.CanStartWith(b)) {
      if (auto m = tryAt(p)) return m;
    }
    p += CharLength(bytes, p, end);
  }
  return std::nullopt;
}

std::optional<TMatch> TMatchCORE::FindInLine(std::string_view text, std::size_t from) const {
  from = std::min(from, text.size());
  const TRE_DFA& dfa = CurrentDFA();
  const unsigned char* bytes = Bytes(text);
  const std::size_t end = text.size();
  const int32_t start = StartState();
  for (std::size_t p = from; p < end; p += CharLength(bytes, p, end)) {
    if (auto r = MatchLongest(text, p, start)) return TMatch{p, *r};
    if (bytes[p] == '\n' && dfa.BeginsWithLineHead()) {
      if (auto r = MatchWithHead(text, p + 1, start)) return TMatch{p + 1, *r};
    }
  }
  if (dfa.EndsWithLineTail() && dfa.HasLineTail(start)) return TMatch{end, end};
  return std::nullopt;
}

std::optional<TMatch> TMatchCORE::FindAtLineStart(std::string_view text, std::size_t from) const {
  from = std::min(from, text.size());
  if (auto r = MatchWithHead(text, from, StartState())) return TMatch{from, *r};
  return FindInLine(text, from);
}

}  // namespace hollowmere
