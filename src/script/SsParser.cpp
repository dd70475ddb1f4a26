// SakuraScript tokenizer: the pattern-line matcher and the scan over a script.
// The scan works on a copy of the script followed by two NUL bytes; the first
// NUL ends the script, and every look-ahead of one or two bytes stays inside
// that buffer. A lead byte directly before the end stands alone, so no token
// ever carries the terminating NUL.
// At a backslash or percent sign only the lines that can match the two bytes
// after it are tried (TPatternIndex), in their order, passing over a line
// that begins with the bytes on which the line before it failed; bracket
// walks are answered by the scan's TBracketCloses. Neither changes which
// line matches first, so the tokens are those of trying every line afresh.
#include "script/SsParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// The first byte in [from, end) that is a backslash or a percent sign (as
// a byte: it may be a trail byte), or `end`. Reads nothing at or past `end`.
inline std::size_t FindMarkupByte(const char* s, std::size_t from, std::size_t end) {
  std::size_t p = from;
#ifdef __SSE2__
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i percent = _mm_set1_epi8('%');
  for (; p + 16 <= end; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + p));
    const int hits = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(block, backslash), _mm_cmpeq_epi8(block, percent)));
    if (hits != 0) return p + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
#endif
  for (; p < end; ++p) {
    if (s[p] == '\\' || s[p] == '%') return p;
  }
  return end;
}

// Where the plain text that starts at the character start `from` ends: the
// first later character start holding a backslash or a percent sign, or
// `end` (the first NUL). A percent sign is never a trail byte; a backslash
// that is one (as in "ソ", 83 5C) belongs to the text.
inline std::size_t TextRunEnd(const char* s, std::size_t from, std::size_t end) {
  std::size_t known = from;  // a character start
  std::size_t p = from + CharAt(s + from);
  while (p < end) {
    const std::size_t q = FindMarkupByte(s, p, end);
    if (q >= end) return end;
    // The lead-byte values just before q pair up from the byte before them,
    // which ends a character: q starts one when there is an even number.
    std::size_t i = q;
    while (i > known && IsLeadByte(s[i - 1])) --i;
    if (((q - i) & 1) == 0) return q;
    known = q + 1;  // q was a trail byte
    p = q + 1;
  }
  return p;
}

// Where the bracket walk from `p` stops: through the scan's memory when
// there is one, else walked here.
inline const char* BracketStop(const char* p, TBracketCloses* closes) {
  if (closes == nullptr) return p + FindBracketClose(p, 0);
  const char* base = closes->Text();
  return base + closes->CloseFrom(static_cast<std::size_t>(p - base));
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
template <typename T>
class Lend {
 public:
  explicit Lend(T& home) : home_(home), value_(std::move(home)) {}
  ~Lend() { home_ = std::move(value_); }
  Lend(const Lend&) = delete;
  Lend& operator=(const Lend&) = delete;
  T& get() { return value_; }

 private:
  T& home_;
  T value_;
};

// The matcher. On a failure, `decidedBy` tells how many leading line bytes
// decided it: any line that begins with those same bytes fails at the same
// place on the same script. kUndecided when the end of the line took part,
// which no other line is sure to share.
constexpr std::size_t kUndecided = static_cast<std::size_t>(-1);

// Inlined into the line loops: a scan calls it for most lines it tries.
[[gnu::always_inline]] inline std::size_t MatchLine(std::string_view line, const char* script,
                                                   TBracketCloses* closes, std::size_t& decidedBy) {
  const char* s = script;
  const std::size_t n = line.size();
  std::size_t li = 0;
  const auto fail = [&](std::size_t through) -> std::size_t {
    decidedBy = through;
    return 0;
  };
  while (li < n) {
    const char lc = line[li];
    if (lc != '%') {
      // The NUL end never matches, even a NUL in the line.
      if (*s == '\0' || *s != lc) return fail(li + 1);
      ++s;
      ++li;
      continue;
    }
    if (*s == '\0') return fail(li + 1);
    if (li + 1 == n) {
      // "%" ending the line: a literal percent sign.
      if (*s != '%') return fail(kUndecided);
      ++s;
      break;
    }
    switch (line[li + 1]) {
      case '%':
        if (*s != '%') return fail(li + 2);
        ++s;
        break;
      case '.':
        s += CharAt(s);
        break;
      case 'd':
        if (!IsDigit(*s)) return fail(li + 2);
        ++s;
        break;
      case 'D':
        if (!IsDigit(*s)) return fail(li + 2);
        while (IsDigit(*s)) ++s;
        break;
      case 'm':
        if (IsLeadByte(*s)) return fail(li + 2);
        ++s;
        break;
      case 'M':
        if (!IsLeadByte(*s) || s[1] == '\0') return fail(li + 2);
        s += 2;
        break;
      case 'b': {
        // Up to and including the first unescaped "]"; none: no match.
        if (*s != '[') return fail(li + 2);
        const char* close = BracketStop(s + 1, closes);
        if (*close == '\0') return fail(li + 2);
        s = close + 1;
        break;
      }
      case 'c':
        // One or more characters up to the first unescaped "]" or the end.
        if (*s == ']') return fail(li + 2);
        s = BracketStop(s, closes);
        break;
      default:
        // "%" before any other character: a literal percent sign; the
        // following line byte is matched on its own.
        if (*s != '%') return fail(li + 2);
        ++s;
        ++li;
        continue;
    }
    li += 2;
  }
  return static_cast<std::size_t>(s - script);
}

}  // namespace

std::size_t MatchPatternLine(std::string_view line, const char* script) {
  return MatchPatternLine(line, script, nullptr);
}

std::size_t MatchPatternLine(std::string_view line, const char* script, TBracketCloses* closes) {
  std::size_t decidedBy = kUndecided;
  return MatchLine(line, script, closes, decidedBy);
}

TSsParser::TSsParser() = default;

void TSsParser::SetTagPattern(std::vector<std::string> lines) {
  tagPattern_ = std::move(lines);
  tagIndex_.Build(tagPattern_, 1, true);
}

void TSsParser::SetMetaPattern(std::vector<std::string> lines) {
  metaPattern_ = std::move(lines);
  metaIndex_.Build(metaPattern_, 0, false);
}

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

std::size_t TSsParser::MatchTag(const char* s, std::size_t left, TBracketCloses& closes,
                                std::string& extra, bool& undefined) {
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
  std::size_t decidedBy = kUndecided;
  for (const TPatternCandidate& candidate : tagIndex_.Candidates(s[1], s[2])) {
    if (candidate.Shared >= decidedBy) continue;
    if (candidate.HasSecond && s[2] != candidate.Second) {
      decidedBy = 2;  // the line's first two body bytes
      continue;
    }
    const std::string& line = tagPattern_[candidate.Line];
    if (line[0] != '\\' && line[0] != '!') throw ESsParserError(LineError(candidate.Line + 1));
    const std::size_t got = MatchLine(std::string_view(line).substr(1), s + 1, &closes, decidedBy);
    if (got > 0 || line.size() == 1) {
      undefined = (line[0] == '!');
      return got + 1;
    }
  }
  return 0;
}

std::size_t TSsParser::MatchMeta(const char* s, std::size_t left, TBracketCloses& closes,
                                 std::string& extra) {
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
  std::size_t decidedBy = kUndecided;
  for (const TPatternCandidate& candidate : metaIndex_.Candidates(s[1], s[2])) {
    if (candidate.Shared >= decidedBy) continue;
    if (candidate.HasSecond && s[2] != candidate.Second) {
      decidedBy = 2;
      continue;
    }
    const std::string& line = metaPattern_[candidate.Line];
    const std::size_t got = MatchLine(line, s + 1, &closes, decidedBy);
    if (got > 0) return got;
  }
  return 0;
}

namespace {

// The pending text run. While it is the script's own bytes, one stretch
// after another, it is only where that stretch lies; the first piece that is
// not (an escape the scan rewrites, or bytes that do not follow on) copies it
// into the scan's run buffer.
class TTextRun {
 public:
  TTextRun(const char* s, std::string& copy) : s_(s), copy_(copy) { copy_.clear(); }

  bool empty() const { return length_ == 0; }
  std::size_t size() const { return length_; }

  // The script's bytes [at, at + n).
  void AppendOwn(std::size_t at, std::size_t n) {
    if (!copied_) {
      if (length_ == 0) start_ = at;
      if (start_ + length_ == at) {
        length_ += n;
        return;
      }
      CopyOut();
    }
    copy_.append(s_ + at, n);
    length_ += n;
  }
  void AppendOther(std::string_view piece) {
    if (!copied_) CopyOut();
    copy_.append(piece);
    length_ += piece.size();
  }

  std::string_view View() const {
    return copied_ ? std::string_view(copy_) : std::string_view(s_ + start_, length_);
  }
  void Clear() {
    length_ = 0;
    copied_ = false;
    copy_.clear();
  }

 private:
  void CopyOut() {
    copy_.assign(s_ + start_, length_);
    copied_ = true;
  }

  const char* s_;
  std::string& copy_;
  std::size_t start_ = 0;
  std::size_t length_ = 0;
  bool copied_ = false;
};

// Hands a run that is not empty over as a text token; its position is that
// of the byte that ends it less its length.
void FlushText(TTextRun& run, std::size_t endOffset, ISsTokenSink& sink) {
  if (run.empty()) return;
  TSsToken token;
  token.Position = static_cast<int32_t>(endOffset - run.size());
  token.MarkUpType = mtText;
  token.Str = run.View();
  sink.Take(token);
  run.Clear();
}

void Hand(const char* at, std::size_t pos, std::size_t len, std::string_view extra, TSsMarkUpType type,
          ISsTokenSink& sink) {
  TSsToken token;
  token.Position = static_cast<int32_t>(pos);
  token.MarkUpType = type;
  token.Str = std::string_view(at, len);
  token.Extra = extra;
  sink.Take(token);
}

}  // namespace

// Keeps every token in the parser's list.
class TSsParser::TListSink : public ISsTokenSink {
 public:
  explicit TListSink(TSsParser& parser) : parser_(parser) {}
  void Take(const TSsToken& token) override {
    TSsMarkUp& m = parser_.NextMarkUp();
    m.Position = token.Position;
    if (!token.Extra.empty()) m.Extra.assign(token.Extra);
    m.Str.clear();  // then append: the general assign costs more than the few bytes of a tag
    m.Str.append(token.Str);
    m.MarkUpType = token.MarkUpType;
  }

 private:
  TSsParser& parser_;
};

void TSsParser::Parse() {
  ClearMarkUps();
  // Borrowed rather than used in place when there is a hook: one that
  // re-enters the parser gets buffers of its own and cannot pull this scan's
  // text from under it. Without one nothing can re-enter.
  TListSink sink(*this);
  if (OnParse) {
    Lend<TSsScanBuffers> loan(buffers_);
    Scan(input_, loan.get(), sink);
  } else {
    Scan(input_, buffers_, sink);
  }
}

void TSsParser::Scan(std::string_view script, TSsScanBuffers& buffers, ISsTokenSink& sink) {
  std::string& work = buffers.work;
  work.assign(script);
  work.append(2, '\0');
  ScanText(work.data(), buffers.closes, buffers.run, sink);
}

void TSsParser::ScanTerminated(const char* text, TSsScanBuffers& buffers, ISsTokenSink& sink) {
  ScanText(text, buffers.closes, buffers.run, sink);
}

void TSsParser::ScanText(const char* s, TBracketCloses& closes, std::string& runCopy,
                         ISsTokenSink& sink) {
  const std::size_t end = std::strlen(s);
  closes.Reset(s, end);
  TTextRun run(s, runCopy);

  static constexpr std::string_view kEscapedPercent = "\\%";

  std::size_t i = 0;
  while (i < end) {
    const char c = s[i];
    if (c == '\\') {
      const char next = s[i + 1];
      if (next == '\\') {
        // Kept, the pair stands as it is; dropped, the backslash left is the
        // first one.
        run.AppendOwn(i, LeaveEscape ? 2 : 1);
        i += 2;
        continue;
      }
      if (next == '%') {
        run.AppendOwn(LeaveEscape ? i : i + 1, LeaveEscape ? 2 : 1);
        i += 2;
        continue;
      }
      std::string extra;
      bool undefined = false;
      std::size_t len = MatchTag(s + i, end - i, closes, extra, undefined);
      FlushText(run, i, sink);
      if (len > 0) {
        Hand(s + i, i, len, extra, undefined ? mtUndefinedTag : mtTag, sink);
      } else {
        // Nothing knows this sequence: the backslash and the character after
        // it (none when the backslash ends the script).
        len = (next == '\0') ? 1 : 1 + CharAt(s + i + 1);
        Hand(s + i, i, len, std::string_view(), mtUndefinedTag, sink);
      }
      i += len;
    } else if (c == '%') {
      std::string extra;
      const std::size_t len = MatchMeta(s + i, end - i, closes, extra);
      if (len > 0) {
        FlushText(run, i, sink);
        Hand(s + i, i, len + 1, extra, mtMeta, sink);
        i += len + 1;
      } else {
        if (EscapeInvalidMeta) {
          run.AppendOther(kEscapedPercent);
        } else {
          run.AppendOwn(i, 1);
        }
        i += 1;
      }
    } else {
      // Plain text up to the next backslash or percent sign, whole characters.
      const std::size_t from = i;
      i = TextRunEnd(s, from, end);
      run.AppendOwn(from, i - from);
    }
  }
  FlushText(run, end, sink);
}

std::vector<std::string> LoadPatternFile(const std::string& path) {
  return text::SplitLines(ReadWholeFile(path));
}

}  // namespace hollowmere
