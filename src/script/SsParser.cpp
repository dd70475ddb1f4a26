// SakuraScript tokenizer: the pattern-line matcher and the scan over a script.
// The scan works on a copy of the script followed by two NUL bytes; the first
// NUL ends the script, and every look-ahead of one or two bytes stays inside
// that buffer. A lead byte directly before the end stands alone, so no token
// ever carries the terminating NUL.
#include "script/SsParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/FileSystem.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using text::IsLeadByte;

// Bytes of the character at p, which is not the NUL end: a lead byte with a
// byte after it is two, anything else one.
inline std::size_t CharAt(const char* p) { return (IsLeadByte(p[0]) && p[1] != '\0') ? 2 : 1; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A bracketed argument starting on "[": up to and including the first "]"
// that is not escaped. 0 when the script ends first.
std::size_t TakeBracket(const char* s) {
  std::size_t i = 1;
  for (;;) {
    const char c = s[i];
    if (c == '\0') return 0;
    if (c == ']') return i + 1;
    if (c == '\\') {
      if (s[i + 1] == '\0') return 0;
      i += 1 + CharAt(s + i + 1);
    } else {
      i += CharAt(s + i);
    }
  }
}

// Bracket contents: one or more characters up to, not including, the first
// unescaped "]" or the end of the script. The caller has checked that s is
// neither at the end nor on "]".
std::size_t TakeContents(const char* s) {
  std::size_t i = 0;
  for (;;) {
    const char c = s[i];
    if (c == '\0' || c == ']') return i;
    if (c == '\\') {
      // A backslash that ends the script is taken as it stands.
      i += (s[i + 1] == '\0') ? 1 : 1 + CharAt(s + i + 1);
    } else {
      i += CharAt(s + i);
    }
  }
}

std::string LineError(std::size_t lineNumber) {
  static const std::string head = text::Sjis("TagPattern表記ミス ");
  static const std::string tail = text::Sjis(" 行目");
  return head + std::to_string(lineNumber) + tail;
}

const std::string& WrongTypeMessage() {
  static const std::string msg = text::Sjis("正しいエレメントタイプを返してください");
  return msg;
}

// Puts a scratch buffer back into its member when the scan ends, however it
// ends, so its capacity is reused by the next run.
class Lend {
 public:
  explicit Lend(std::string& home) : home_(home), value_(std::move(home)) {}
  ~Lend() { home_ = std::move(value_); }
  Lend(const Lend&) = delete;
  Lend& operator=(const Lend&) = delete;
  std::string& get() { return value_; }

 private:
  std::string& home_;
  std::string value_;
};

}  // namespace

std::size_t MatchPatternLine(std::string_view line, const char* script) {
  const char* s = script;
  const std::size_t n = line.size();
  std::size_t li = 0;
  while (li < n) {
    const char lc = line[li];
    if (lc != '%') {
      // The NUL end never matches, even a NUL in the line.
      if (*s == '\0' || *s != lc) return 0;
      ++s;
      ++li;
      continue;
    }
    if (*s == '\0') return 0;
    const char d = (li + 1 < n) ? line[li + 1] : '\0';
    switch (d) {
      case '%':
        if (*s != '%') return 0;
        ++s;
        break;
      case '.':
        s += CharAt(s);
        break;
      case 'd':
        if (!IsDigit(*s)) return 0;
        ++s;
        break;
      case 'D':
        if (!IsDigit(*s)) return 0;
        while (IsDigit(*s)) ++s;
        break;
      case 'm':
        if (IsLeadByte(*s)) return 0;
        ++s;
        break;
      case 'M':
        if (!IsLeadByte(*s) || s[1] == '\0') return 0;
        s += 2;
        break;
      case 'b': {
        if (*s != '[') return 0;
        const std::size_t len = TakeBracket(s);
        if (len == 0) return 0;
        s += len;
        break;
      }
      case 'c':
        if (*s == ']') return 0;
        s += TakeContents(s);
        break;
      default:
        // "%" before any other character, or ending the line: a literal
        // percent sign; the following line byte is matched on its own.
        if (*s != '%') return 0;
        ++s;
        ++li;
        continue;
    }
    li += 2;
  }
  return static_cast<std::size_t>(s - script);
}

TSsParser::TSsParser() = default;

void TSsParser::SetInputString(std::string_view script) {
  input_.assign(script);
  Parse();
}

void TSsParser::ThrowIndexError() {
  static const std::string msg = text::Sjis("インデックスが範囲をこえています");
  throw ESsParserError(msg);
}

std::string TSsParser::Str(int i) const { return InRange(i) ? markUps_[i].Str : std::string(); }

std::string TSsParser::Extra(int i) const {
  return InRange(i) ? markUps_[i].Extra : std::string();
}

void TSsParser::SetExtra(int i, std::string extra) {
  if (!InRange(i)) ThrowIndexError();
  markUps_[i].Extra = std::move(extra);
}

TSsMarkUpType TSsParser::MarkUpType(int i) const {
  if (!InRange(i)) ThrowIndexError();
  return markUps_[i].MarkUpType;
}

const TSsMarkUp& TSsParser::MarkUp(int i) const {
  if (!InRange(i)) ThrowIndexError();
  return markUps_[i];
}

void TSsParser::AddToken(const char* at, std::size_t pos, std::size_t len, std::string extra,
                         TSsMarkUpType type) {
  TSsMarkUp& m = markUps_.emplace_back();
  m.Position = static_cast<int32_t>(pos);
  m.Extra = std::move(extra);
  m.Str.assign(at, len);
  m.MarkUpType = type;
}

void TSsParser::FlushText(std::string& run, std::size_t endOffset) {
  if (run.empty()) return;
  TSsMarkUp& m = markUps_.emplace_back();
  m.Position = static_cast<int32_t>(endOffset - run.size());
  m.Str = run;
  m.MarkUpType = mtText;
  run.clear();
}

std::size_t TSsParser::MatchTag(const char* s, std::size_t left, std::string& extra,
                                bool& undefined) {
  int len = 0;
  if (OnParse) {
    TSsMarkUpType type = mtText;
    OnParse(*this, std::string_view(s, left), len, type, extra);
    if (len > 0) {
      if (type != mtTag && type != mtUndefinedTag) throw ESsParserError(WrongTypeMessage());
      undefined = (type == mtUndefinedTag);
      // A handler that claims more than is left gets the rest of the script.
      return std::min(static_cast<std::size_t>(len), left);
    }
  }
  // Every line begins with the backslash's stand-in, which matches the
  // backslash under the scan point, so matching resumes after both.
  for (std::size_t k = 0; k < tagPattern_.size(); ++k) {
    const std::string& line = tagPattern_[k];
    if (line.empty()) continue;
    if (line[0] != '\\' && line[0] != '!') throw ESsParserError(LineError(k + 1));
    const std::size_t got = MatchPatternLine(std::string_view(line).substr(1), s + 1);
    if (got > 0 || line.size() == 1) {
      undefined = (line[0] == '!');
      return got + 1;
    }
  }
  return 0;
}

std::size_t TSsParser::MatchMeta(const char* s, std::size_t left, std::string& extra) {
  if (OnParse) {
    int len = 0;
    TSsMarkUpType type = mtText;
    OnParse(*this, std::string_view(s, left), len, type, extra);
    if (len > 0) {
      if (type != mtMeta) throw ESsParserError(WrongTypeMessage());
      const std::size_t after = std::min(static_cast<std::size_t>(len), left) - 1;
      if (after > 0) return after;
    }
  }
  for (const std::string& line : metaPattern_) {
    if (line.empty()) continue;
    const std::size_t got = MatchPatternLine(line, s + 1);
    if (got > 0) return got;
  }
  return 0;
}

void TSsParser::Parse() {
  ClearMarkUps();
  // Borrowed rather than used in place: a hook that re-enters the parser
  // gets buffers of its own and cannot pull this scan's text from under it.
  Lend workLoan(work_);
  Lend runLoan(run_);
  std::string& work = workLoan.get();
  std::string& run = runLoan.get();
  run.clear();
  work.assign(input_);
  work.append(2, '\0');
  const char* s = work.data();
  const std::size_t end = std::strlen(s);

  static constexpr std::string_view kBackslashPair = "\\\\";
  static constexpr std::string_view kEscapedPercent = "\\%";

  std::size_t i = 0;
  while (i < end) {
    const char c = s[i];
    if (c == '\\') {
      const char next = s[i + 1];
      if (next == '\\') {
        run.append(LeaveEscape ? kBackslashPair : kBackslashPair.substr(1));
        i += 2;
        continue;
      }
      if (next == '%') {
        run.append(LeaveEscape ? kEscapedPercent : kEscapedPercent.substr(1));
        i += 2;
        continue;
      }
      std::string extra;
      bool undefined = false;
      std::size_t len = MatchTag(s + i, end - i, extra, undefined);
      FlushText(run, i);
      if (len > 0) {
        AddToken(s + i, i, len, std::move(extra), undefined ? mtUndefinedTag : mtTag);
      } else {
        // Nothing knows this sequence: the backslash and the character after
        // it (none when the backslash ends the script).
        len = (next == '\0') ? 1 : 1 + CharAt(s + i + 1);
        AddToken(s + i, i, len, std::string(), mtUndefinedTag);
      }
      i += len;
    } else if (c == '%') {
      std::string extra;
      const std::size_t len = MatchMeta(s + i, end - i, extra);
      if (len > 0) {
        FlushText(run, i);
        AddToken(s + i, i, len + 1, std::move(extra), mtMeta);
        i += len + 1;
      } else {
        run.append(EscapeInvalidMeta ? kEscapedPercent : kEscapedPercent.substr(1));
        i += 1;
      }
    } else {
      // Plain text up to the next backslash or percent sign, whole characters.
      const std::size_t from = i;
      do {
        i += CharAt(s + i);
      } while (i < end && s[i] != '\\' && s[i] != '%');
      run.append(s + from, i - from);
    }
  }
  FlushText(run, end);
}

std::vector<std::string> LoadPatternFile(const std::string& path) {
  return text::SplitLines(ReadWholeFile(path));
}

}  // namespace hollowmere
