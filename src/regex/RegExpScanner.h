// Pattern scanning: characters, escapes and tokens of the pattern language,
// and the error messages of the engine.
//
// Invariants: the scanner reads whole Shift_JIS characters, so a trail byte
// such as 0x5C is never an escape; Position() is always the 1-based index of
// the next unread byte, which is what an error reports (the lone lead byte
// error reports the lead byte itself). Codes of literal characters that would
// collide with the reserved anchor and epsilon codes are moved out of the
// text's code space (kNoCharacter and above) so they can never match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hollowmere::regex {

// Code space: single bytes 0x00-0xFF, double-byte characters 0x8100-0xFCFF.
constexpr int32_t kLineHeadCode = 0xFFFD;
constexpr int32_t kLineTailCode = 0xFFFE;
constexpr int32_t kEpsilonCode = 0xFFFF;
// A code no text character has; stands for characters that cannot occur.
constexpr int32_t kNoCharacter = 0x10000;
// Highest code "." and negated classes reach.
constexpr int32_t kAnyCharHigh = 0xFCFC;

// The engine's messages, as CP932 bytes.
namespace msg {
const std::string& LoneLeadByte();     // 不正な２バイト文字コードです。
const std::string& BackslashAtEnd();   // "\"の次には文字が必要です。
const std::string& BadHex();           // 不正な１６進数コード表記です。
const std::string& BadOctal();         // 不正な８進数コード表記です。
const std::string& NeedBracket();      // 右ブラケット"]"が必要です
const std::string& BadRange();         // 不正なキャラクタ範囲です
const std::string& NeedParen();        // 右(閉じ)括弧が必要です
const std::string& NeedPrimary();      // 普通の文字、または左括弧"("が必要です
const std::string& EmptyClass();       // 不正なキャラクタクラス指定です。
const std::string& TrailingText();     // 正規表現に余分な文字があります
const std::string& TreeFatal();        // TREParseTree : 致命的エラー
}  // namespace msg

// Throws ERegExpParser with `message` at the 1-based `position` (saturated to 16 bits).
[[noreturn]] void ThrowParseError(const std::string& message, std::size_t position);

// Reads one character of `s` at `pos` (which must be < s.size()), moves `pos`
// past it and returns its code. A lead byte that is the last byte raises the
// lone lead byte error at its own index.
int32_t ReadPatternChar(std::string_view s, std::size_t& pos);

// Reads the escape whose backslash has just been consumed (`pos` is on the
// character after it) and returns its code; raises the escape errors.
int32_t ReadEscape(std::string_view s, std::size_t& pos);

// Maps codes 0xFFFD-0xFFFF (from escapes) to codes no text has.
constexpr int32_t LiteralCode(int32_t code) {
  return code >= kLineHeadCode && code <= kEpsilonCode ? kNoCharacter + (code - kLineHeadCode) : code;
}

enum class TokenKind {
  End,
  UnionBar,
  GroupOpen,
  GroupClose,
  Star,
  Plus,
  Optional,
  ClassOpen,
  NegatedClassOpen,
  ClassClose,
  AnyChar,
  LineHead,
  LineTail,
  Literal,
};

struct Token {
  TokenKind kind = TokenKind::End;
  int32_t code = 0;  // for Literal
};

// One item inside brackets: a range, or the closing bracket.
struct ClassItem {
  bool close = false;
  int32_t low = 0;
  int32_t high = 0;
};

class TREScanner {
 public:
  explicit TREScanner(std::string_view pattern) : pattern_(pattern) {}
  virtual ~TREScanner() = default;

  // Token reader outside brackets.
  virtual Token GetToken();
  // Token reader inside brackets (after a class open).
  virtual ClassItem GetClassItem();

  std::size_t Position() const { return pos_ + 1; }
  [[noreturn]] void Fail(const std::string& message) const { ThrowParseError(message, Position()); }

 private:
  bool AtEnd() const { return pos_ >= pattern_.size(); }
  // A class item character: an escape when it starts with "\".
  int32_t ReadClassChar();

  std::string_view pattern_;
  std::size_t pos_ = 0;
};

// Rewrites a pattern before parsing when a dictionary switch is on. Both are
// always off in this program, so it passes the pattern through.
class TREPreProcessor {
 public:
  std::string Run(const std::string& pattern) const { return pattern; }
};

}  // namespace hollowmere::regex
