// The Shift_JIS regular-expression component: pattern cache, searching and
// replace-all.
//
// Invariants kept by every class here:
//  - Text and patterns are read as Shift_JIS characters (a lead byte and the
//    byte after it form one character, code lead*256+trail); a match never
//    starts or ends inside a double-byte character.
//  - Searching runs the compiled deterministic automaton once per tried start
//    position; nothing backtracks.
//  - Cache entry 0 is always the empty pattern; whatever goes wrong while a
//    pattern is set, the component is left holding a compiled pattern.
// How the pieces are split: RegExpScanner (tokens and escapes), RegExpParse
// (parse tree), RegExpCompile (NFA and DFA), RegExpMatch (searching), and this
// header's bmRegExp.cpp (cache, replace-all).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/Error.h"

namespace hollowmere {

namespace regex {
class TRE_DFA;
}

enum TMatchCORE_LineSeparator { mcls_CRLF = 0, mcls_LF = 1 };

// A malformed pattern or replacement text. what() is the CP932 message shown
// to the user; ErrorPosition is the 1-based byte index in the pattern where
// the scanner stood when it found the fault (the byte after what it had read,
// or the lone lead byte itself).
class ERegExpParser : public Error {
 public:
  ERegExpParser(const std::string& message, uint16_t position)
      : Error(message), ErrorPosition(position) {}
  uint16_t ErrorPosition;
};

// Holds the current pattern and a cache of compiled automata.
class TRegularExpression {
 public:
  static constexpr std::size_t kCacheCapacity = 30;

  TRegularExpression();
  virtual ~TRegularExpression();
  // A copy holds its own automata, copied rather than compiled again, so each
  // render thread can search with one of its own.
  TRegularExpression(const TRegularExpression& other);
  TRegularExpression& operator=(const TRegularExpression&) = delete;

  // Makes `pattern` current, compiling it unless the cache already holds it.
  // On a malformed pattern: throws ERegExpParser and leaves the empty pattern
  // current.
  virtual void SetRegExp(const std::string& pattern);
  const std::string& RegExp() const { return regexp_; }

  virtual int32_t LineHeadCode() const { return 0xFFFD; }
  virtual int32_t LineTailCode() const { return 0xFFFE; }

  // The automaton of the current entry (never null).
  const regex::TRE_DFA& CurrentDFA() const;

  // Inspection of the cache, for tests and diagnostics.
  std::size_t CacheSize() const { return cache_.size(); }
  const std::string& CachePattern(std::size_t index) const { return cache_[index].pattern; }
  std::size_t CurrentEntry() const { return current_; }
  // Patterns compiled since construction (the empty pattern of entry 0
  // included; none for a copy).
  std::size_t CompileCount() const { return compileCount_; }

 protected:
  // Parses `pattern` and stores its automaton in the current cache entry.
  virtual void Compile(const std::string& pattern);

 private:
  struct Entry {
    std::string pattern;
    std::unique_ptr<regex::TRE_DFA> dfa;
  };
  void CompileInto(Entry& entry, const std::string& pattern);

  std::string regexp_;
  std::vector<Entry> cache_;
  std::size_t current_ = 0;
  std::size_t compileCount_ = 0;
};

// A match: byte offsets [start, end) into the searched text.
struct TMatch {
  std::size_t start;
  std::size_t end;
  bool operator==(const TMatch&) const = default;
};

// Leftmost-longest search with the current automaton.
// Every routine takes the whole text and the offset to search from (the start
// of the "rest"); the text must end at its first NUL (callers cut it there).
class TMatchCORE : public TRegularExpression {
 public:
  TMatchCORE() = default;

  void SetLineSeparator(TMatchCORE_LineSeparator separator) { separator_ = separator; }
  TMatchCORE_LineSeparator LineSeparator() const { return separator_; }

  // End of the longest match of the automaton run from `state` at `pos`,
  // including the "$" rule before a line separator or the end of the text.
  std::optional<std::size_t> MatchLongest(std::string_view text, std::size_t pos, int32_t state) const;
  // MatchLongest that also tries the line-head branch when the pattern begins
  // with "^"; only called where a line starts.
  std::optional<std::size_t> MatchWithHead(std::string_view text, std::size_t pos, int32_t state) const;

  // Search for patterns without anchors.
  std::optional<TMatch> FindPlain(std::string_view text, std::size_t from = 0) const;
  // Search from a position inside a line.
  std::optional<TMatch> FindInLine(std::string_view text, std::size_t from = 0) const;
  // Search from a position where a line starts.
  std::optional<TMatch> FindAtLineStart(std::string_view text, std::size_t from = 0) const;

  int32_t StartState() const { return 0; }

 private:
  TMatchCORE_LineSeparator separator_ = mcls_CRLF;
};

// Adds the replace-all operation and picks the search routine per pattern.
class TAWKStr : public TMatchCORE {
 public:
  TAWKStr() = default;

  void SetRegExp(const std::string& pattern) override;

  // Replaces every match of the current pattern in `text` by the expanded
  // `replacement` and returns the number of replacements. Bytes from a NUL on
  // are never searched but are kept. On an error in the replacement text the
  // text is left as it was.
  int ReplaceAll(const std::string& replacement, std::string& text);
  // The same over the part of `text` from byte `from` on, as a text of its
  // own; the bytes before it stay as they are.
  int ReplaceAll(const std::string& replacement, std::string& text, std::size_t from);

  // The first match in `text` (up to its first NUL) with the chosen routine.
  std::optional<TMatch> Find(std::string_view text) const;

  // The text that replaces one match: "&" inserts the match, "\&" a literal
  // ampersand, and escapes ("\n", "\x41", ...) are decoded.
  static std::string ExpandReplacement(std::string_view replacement, std::string_view matched);

  // True when the current pattern is searched line-aware (it begins with a
  // line head or ends with a line tail).
  bool LineAware() const { return lineAware_; }

 private:
  std::optional<TMatch> FindChosen(std::string_view text, std::size_t from) const;
  bool lineAware_ = false;
  std::string scratch_;  // spare output buffer for ReplaceAll
};

}  // namespace hollowmere
