// Scanning the pattern language; see RegExpScanner.h for the position rule.
#include "regex/RegExpScanner.h"

#include <limits>

#include "regex/bmRegExp.h"
#include "text/Encoding.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere::regex {

namespace msg {
#define HOLLOWMERE_REGEX_MESSAGE(name, utf8)        \
  const std::string& name() {                       \
    static const std::string bytes = text::Sjis(utf8); \
    return bytes;                                   \
  }
HOLLOWMERE_REGEX_MESSAGE(LoneLeadByte, "不正な２バイト文字コードです。")
HOLLOWMERE_REGEX_MESSAGE(BackslashAtEnd, "\"\\\"の次には文字が必要です。")
HOLLOWMERE_REGEX_MESSAGE(BadHex, "不正な１６進数コード表記です。")
HOLLOWMERE_REGEX_MESSAGE(BadOctal, "不正な８進数コード表記です。")
HOLLOWMERE_REGEX_MESSAGE(NeedBracket, "右ブラケット\"]\"が必要です")
HOLLOWMERE_REGEX_MESSAGE(BadRange, "不正なキャラクタ範囲です")
HOLLOWMERE_REGEX_MESSAGE(NeedParen, "右(閉じ)括弧が必要です")
HOLLOWMERE_REGEX_MESSAGE(NeedPrimary, "普通の文字、または左括弧\"(\"が必要です")
HOLLOWMERE_REGEX_MESSAGE(EmptyClass, "不正なキャラクタクラス指定です。")
HOLLOWMERE_REGEX_MESSAGE(TrailingText, "正規表現に余分な文字があります")
HOLLOWMERE_REGEX_MESSAGE(TreeFatal, "TREParseTree : 致命的エラー")
#undef HOLLOWMERE_REGEX_MESSAGE
}  // namespace msg

void ThrowParseError(const std::string& message, std::size_t position) {
  const std::size_t cap = std::numeric_limits<uint16_t>::max();
  throw ERegExpParser(message, static_cast<uint16_t>(position < cap ? position : cap));
}

int32_t ReadPatternChar(std::string_view s, std::size_t& pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  if (text::IsLeadByte(b)) {
    if (pos + 1 >= s.size()) ThrowParseError(msg::LoneLeadByte(), pos + 1);
    const auto trail = static_cast<unsigned char>(s[pos + 1]);
    pos += 2;
    return b * 256 + trail;
  }
  pos += 1;
  return b;
}

int32_t ReadEscape(std::string_view s, std::size_t& pos) {
  if (pos >= s.size()) ThrowParseError(msg::BackslashAtEnd(), pos + 1);
  const char c = s[pos];
  switch (c) {
    case 'b':
      ++pos;
      return 0x08;
    case 'n':
      ++pos;
      return 0x0A;
    case 'r':
      ++pos;
      return 0x0D;
    case 't':
      ++pos;
      return 0x09;
    case 'x': {
      ++pos;
      int32_t value = 0;
      int digits = 0;
      while (digits < 4 && pos < s.size() && text::HexDigitValue(s[pos]) >= 0) {
        value = value * 16 + text::HexDigitValue(s[pos]);
        ++pos;
        ++digits;
      }
      if (digits == 0) ThrowParseError(msg::BadHex(), pos + 1);
      return value;
    }
    default:
      break;
  }
  if (c >= '0' && c <= '7') {
    int32_t value = 0;
    int digits = 0;
    while (digits < 6 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7') {
      value = value * 8 + (s[pos] - '0');
      ++pos;
      ++digits;
    }
    if (value > 0xFFFF) ThrowParseError(msg::BadOctal(), pos + 1);
    return value;
  }
  return ReadPatternChar(s, pos);
}

Token TREScanner::GetToken() {
  if (AtEnd()) return {TokenKind::End, 0};
  const std::size_t start = pos_;
  const int32_t code = ReadPatternChar(pattern_, pos_);
  if (pos_ - start == 2) return {TokenKind::Literal, code};
  switch (code) {
    case '|':
      return {TokenKind::UnionBar, 0};
    case '(':
      return {TokenKind::GroupOpen, 0};
    case ')':
      return {TokenKind::GroupClose, 0};
    case '*':
      return {TokenKind::Star, 0};
    case '+':
      return {TokenKind::Plus, 0};
    case '?':
      return {TokenKind::Optional, 0};
    case '[':
      if (AtEnd()) Fail(msg::NeedBracket());
      if (pattern_[pos_] == '^') {
        ++pos_;
        return {TokenKind::NegatedClassOpen, 0};
      }
      return {TokenKind::ClassOpen, 0};
    case ']':
      return {TokenKind::ClassClose, 0};
    case '.':
      return {TokenKind::AnyChar, 0};
    case '^':
      return {TokenKind::LineHead, 0};
    case '$':
      return {TokenKind::LineTail, 0};
    case '\\':
      return {TokenKind::Literal, ReadEscape(pattern_, pos_)};
    default:
      return {TokenKind::Literal, code};
  }
}

int32_t TREScanner::ReadClassChar() {
  const std::size_t start = pos_;
  const int32_t code = ReadPatternChar(pattern_, pos_);
  if (pos_ - start == 1 && code == '\\') return ReadEscape(pattern_, pos_);
  return code;
}

ClassItem TREScanner::GetClassItem() {
  if (AtEnd()) Fail(msg::NeedBracket());
  if (pattern_[pos_] == ']') {
    ++pos_;
    return {true, 0, 0};
  }
  const int32_t low = ReadClassChar();
  if (AtEnd()) Fail(msg::NeedBracket());
  if (pattern_[pos_] != '-') return {false, low, low};
  const std::size_t dash = pos_;
  ++pos_;
  if (AtEnd()) Fail(msg::NeedBracket());
  if (pattern_[pos_] == ']') {
    // "-" just before "]" is a literal: read both again as items.
    pos_ = dash;
    return {false, low, low};
  }
  const int32_t high = ReadClassChar();
  if (high < low) Fail(msg::BadRange());
  return {false, low, high};
}

}  // namespace hollowmere::regex
