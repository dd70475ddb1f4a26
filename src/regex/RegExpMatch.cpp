// Searching with the compiled automaton: leftmost start, longest end. The
// inner loops and their invariants are in PlainSearch.h.
#include <algorithm>

#include "regex/PlainSearch.h"
#include "regex/bmRegExp.h"
#include "text/Sjis.h"

namespace hollowmere {

namespace {

using regex::TRE_DFA;
using regex::search::CharLength;
using regex::search::kNone;
using regex::search::Run;

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
  std::size_t matchEnd = 0;
  const std::size_t at = regex::search::FindPlain(CurrentDFA(), Bytes(text), text.size(), from, matchEnd);
  if (at == kNone) return std::nullopt;
  return TMatch{at, matchEnd};
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
