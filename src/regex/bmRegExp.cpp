// The pattern cache of TRegularExpression and the replace-all of TAWKStr.
//
// Invariants: cache entry 0 is the empty pattern and is never dropped; the
// current entry always holds a compiled automaton; ReplaceAll builds its
// result in a separate string and swaps it in only when nothing can fail any
// more, so an error leaves the caller's text as it was.
#include "regex/bmRegExp.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "regex/PlainSearch.h"
#include "regex/RegExpCompile.h"
#include "regex/RegExpParse.h"
#include "regex/RegExpScanner.h"
#include "text/Sjis.h"

namespace hollowmere {

TRegularExpression::TRegularExpression() {
  cache_.push_back(Entry{std::string(), nullptr});
  CompileInto(cache_[0], std::string());
}

TRegularExpression::~TRegularExpression() = default;

TRegularExpression::TRegularExpression(const TRegularExpression& other)
    : regexp_(other.regexp_), current_(other.current_) {
  cache_.reserve(other.cache_.size());
  for (const Entry& entry : other.cache_) {
    cache_.push_back(Entry{entry.pattern, std::make_unique<regex::TRE_DFA>(*entry.dfa)});
  }
}

const regex::TRE_DFA& TRegularExpression::CurrentDFA() const { return *cache_[current_].dfa; }

void TRegularExpression::CompileInto(Entry& entry, const std::string& pattern) {
  regex::TREParseTree tree;
  regex::TREParser parser(pattern, tree);
  const int32_t root = parser.Run();
  tree.MakeLeavesDisjoint();
  const regex::TRE_NFA nfa(tree, root);
  entry.dfa = std::make_unique<regex::TRE_DFA>(nfa);
  ++compileCount_;
}

void TRegularExpression::Compile(const std::string& pattern) { CompileInto(cache_[current_], pattern); }

void TRegularExpression::SetRegExp(const std::string& pattern) {
  const std::string p = regex::TREPreProcessor().Run(pattern);
  for (std::size_t i = 0; i < cache_.size(); ++i) {
    if (cache_[i].pattern == p) {
      current_ = i;
      regexp_ = p;
      return;
    }
  }
  if (cache_.size() >= kCacheCapacity) cache_.pop_back();
  cache_.insert(cache_.begin() + 1, Entry{p, nullptr});
  current_ = 1;
  try {
    Compile(p);
  } catch (...) {
    cache_.erase(cache_.begin() + 1);
    current_ = 0;
    regexp_.clear();
    throw;
  }
  regexp_ = p;
}

void TAWKStr::SetRegExp(const std::string& pattern) {
  try {
    TMatchCORE::SetRegExp(pattern);
  } catch (...) {
    lineAware_ = false;  // the empty pattern is current again
    throw;
  }
  const regex::TRE_DFA& dfa = CurrentDFA();
  lineAware_ = dfa.BeginsWithLineHead() || dfa.EndsWithLineTail();
}

namespace {

// A replacement text taken apart once: literal pieces and places where the
// matched text goes.
struct Replacement {
  struct Piece {
    bool match;
    std::string literal;
  };
  std::vector<Piece> pieces;
  // The whole text when no piece is the match: most replacements are fixed.
  bool fixed = true;
  std::string fixedText;

  void AppendTo(std::string& out, std::string_view matched) const {
    if (fixed) {
      out.append(fixedText);
      return;
    }
    for (const Piece& piece : pieces) {
      if (piece.match) {
        out.append(matched);
      } else {
        out.append(piece.literal);
      }
    }
  }
};

void AppendCode(std::string& out, int32_t code) {
  const auto high = static_cast<unsigned char>((code >> 8) & 0xFF);
  if (text::IsLeadByte(high)) out.push_back(static_cast<char>(high));
  out.push_back(static_cast<char>(code & 0xFF));
}

Replacement ParseReplacement(std::string_view replacement) {
  // Pass 1: protect "\&" as "\\&" so that decoding leaves "\&" for pass 3.
  std::string protectedText;
  std::vector<uint32_t> origin;  // byte of protectedText -> byte of replacement
  protectedText.reserve(replacement.size());
  for (std::size_t i = 0; i < replacement.size();) {
    if (replacement[i] == '\\' && i + 1 < replacement.size() && replacement[i + 1] == '&') {
      protectedText += "\\\\&";
      origin.insert(origin.end(), {static_cast<uint32_t>(i), static_cast<uint32_t>(i), static_cast<uint32_t>(i + 1)});
      i += 2;
      continue;
    }
    const std::size_t length = text::CharLength(replacement, i);
    for (std::size_t k = 0; k < length; ++k) {
      protectedText.push_back(replacement[i + k]);
      origin.push_back(static_cast<uint32_t>(i + k));
    }
    i += length;
  }

  // Pass 2: decode escapes. Errors report their place in the caller's text.
  std::string decoded;
  decoded.reserve(protectedText.size());
  try {
    for (std::size_t i = 0; i < protectedText.size();) {
      if (protectedText[i] == '\\') {
        ++i;
        AppendCode(decoded, regex::ReadEscape(protectedText, i));
      } else {
        const std::size_t from = i;
        regex::ReadPatternChar(protectedText, i);
        decoded.append(protectedText, from, i - from);
      }
    }
  } catch (const ERegExpParser& e) {
    const std::size_t at = e.ErrorPosition - 1u;
    regex::ThrowParseError(e.what(), at < origin.size() ? origin[at] + 1 : replacement.size() + 1);
  }

  // Pass 3: "&" is the match, "\&" a literal ampersand, any other "\" itself.
  Replacement result;
  std::string literal;
  auto flush = [&] {
    if (!literal.empty()) result.pieces.push_back({false, std::move(literal)});
    literal.clear();
  };
  for (std::size_t i = 0; i < decoded.size();) {
    const char c = decoded[i];
    if (text::IsLeadByte(c) && i + 1 < decoded.size()) {
      literal.append(decoded, i, 2);
      i += 2;
    } else if (c == '&') {
      flush();
      result.pieces.push_back({true, std::string()});
      i += 1;
    } else if (c == '\\' && i + 1 < decoded.size() && decoded[i + 1] == '&') {
      literal.push_back('&');
      i += 2;
    } else {
      literal.push_back(c);
      i += 1;
    }
  }
  flush();
  for (const Replacement::Piece& piece : result.pieces) {
    if (piece.match) result.fixed = false;
    result.fixedText += piece.literal;
  }
  return result;
}

// The searched part of a text: up to its first NUL.
std::string_view SearchPart(std::string_view text) {
  const void* nul = std::memchr(text.data(), 0, text.size());
  if (nul == nullptr) return text;
  return text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
}

}  // namespace

std::string TAWKStr::ExpandReplacement(std::string_view replacement, std::string_view matched) {
  std::string out;
  ParseReplacement(replacement).AppendTo(out, matched);
  return out;
}

std::optional<TMatch> TAWKStr::FindChosen(std::string_view text, std::size_t from) const {
  return lineAware_ ? FindAtLineStart(text, from) : FindPlain(text, from);
}

std::optional<TMatch> TAWKStr::Find(std::string_view text) const { return FindChosen(SearchPart(text), 0); }

int TAWKStr::ReplaceAll(const std::string& replacement, std::string& text) {
  return ReplaceAll(replacement, text, 0);
}

int TAWKStr::ReplaceAll(const std::string& replacement, std::string& whole, std::size_t from) {
  from = std::min(from, whole.size());
  char* const base = whole.data() + from;
  const std::size_t size = whole.size() - from;
  const std::string_view text(base, size);
  const regex::TRE_DFA& dfa = CurrentDFA();
  // Only the text before its first NUL is searched. When a run cannot step
  // onto a NUL and every match has a first character, the search itself
  // stops at the NUL, which saves a pass over the whole text to find it.
  const bool searchStopsAtNul = !lineAware_ && dfa.StopsAtNul() && !dfa.Accepting(0);
  const std::string_view view = searchStopsAtNul ? text : SearchPart(text);
  const std::size_t limit = view.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(view.data());
  // The next match from `at`. Only after a line feed does the rest start a
  // line; patterns without anchors take the plain search, inlined here since
  // a page's replace-alls spend their time in it. Searches read only from
  // `at` on.
  const auto next = [&](std::size_t at, bool atLineStart) -> std::optional<TMatch> {
    if (!lineAware_) {
      std::size_t end = 0;
      const std::size_t start = searchStopsAtNul
                                    ? regex::search::FindPlain<true>(dfa, bytes, limit, at, end)
                                    : regex::search::FindPlain(dfa, bytes, limit, at, end);
      if (start == regex::search::kNone) return std::nullopt;
      return TMatch{start, end};
    }
    return atLineStart ? FindAtLineStart(view, at) : FindInLine(view, at);
  };
  std::optional<TMatch> match = next(0, true);
  if (!match) return 0;

  const Replacement parsed = ParseReplacement(replacement);
  const bool crlf = LineSeparator() == mcls_CRLF;
  // A fixed replacement no longer than its match is written over the text
  // itself, behind what is still to be read: a page's tidying then needs no
  // second page. The first piece that would overtake the reading moves the
  // work to a separate buffer: the buffer the previous call's text left
  // behind, so repeated calls on texts of similar size allocate nothing.
  bool inPlace = parsed.fixed;
  std::size_t written = 0;
  std::string out;
  const auto toBuffer = [&] {
    out = std::move(scratch_);
    out.clear();
    // A buffer as large as the text is kept as it is: most replacements do
    // not lengthen the text, and making it larger would mean a new
    // allocation (and fresh pages) every time the two buffers change places.
    if (out.capacity() < size) out.reserve(size + size / 8);
    out.append(base, written);
    inPlace = false;
  };
  // Bytes before `readTo` are read no more.
  const auto put = [&](const char* p, std::size_t n, std::size_t readTo) {
    if (inPlace) {
      if (written + n <= readTo) {
        std::memmove(base + written, p, n);
        written += n;
        return;
      }
      toBuffer();
    }
    out.append(p, n);
  };
  if (!inPlace) toBuffer();

  std::size_t rest = 0;
  int count = 0;
  for (;;) {
    std::size_t end = match->end;
    // An empty match never repeats at one place: the character after it
    // goes out unchanged (under CR LF a CR and the byte after it together).
    // (A CR takes the whole character after it, so that a search never
    // starts on a trail byte.)
    std::size_t length = 0;
    if (match->start == end && end < limit) {
      const auto b = static_cast<unsigned char>(view[end]);
      length = text::CharLength(view, end);
      if (crlf && b == '\r' && end + 1 < limit) length = 1 + text::CharLength(view, end + 1);
    }
    // Read before anything is written over it (nothing before `rest` is
    // read but this, and only when a match or a character lies before it).
    const char last = end + length > rest ? view[end + length - 1] : '\0';
    put(base + rest, match->start - rest, match->start);
    if (parsed.fixed) {
      put(parsed.fixedText.data(), parsed.fixedText.size(), end);
    } else {
      parsed.AppendTo(out, std::string_view(view.data() + match->start, end - match->start));
    }
    put(base + end, length, end + length);
    end += length;
    ++count;
    rest = end;
    if (rest >= limit) break;
    match = next(rest, last == '\n');
    if (!match) break;
  }
  if (inPlace) {
    std::memmove(base + written, base + rest, size - rest);
    whole.resize(from + written + (size - rest));
    return count;
  }
  out.append(base + rest, size - rest);
  if (from == 0) {
    whole.swap(out);
  } else {
    whole.replace(from, std::string::npos, out);
  }
  scratch_ = std::move(out);
  return count;
}

}  // namespace hollowmere
