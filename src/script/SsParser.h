// SakuraScript tokenizer: splits one script (CP932 bytes) into tags, meta
// markup and plain text runs. Which backslash and percent sequences count as
// markup comes from two lists of pattern lines (tagpat.txt, metapat.txt) and an
// optional OnParse hook; nothing about SakuraScript is built in here.
// Invariants: a token never splits a double-byte character, so a trail byte
// 0x5C never starts a tag; two text runs are never adjacent; matching a
// pattern line allocates nothing; a scan takes time in proportion to the
// script's length times the pattern lines, however its brackets fall.
// A scan may hand its tokens to a sink one by one instead of keeping them:
// a script then costs no memory per token, only its own copy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"
#include "script/BracketScan.h"
#include "script/PatternIndex.h"

namespace hollowmere {

enum TSsMarkUpType : uint8_t { mtTag = 0, mtMeta = 1, mtUndefinedTag = 2, mtText = 3 };

struct TSsMarkUp {
  // Byte offset in the script. For a text run: the offset of the byte that
  // ends the run minus the run's length after escape handling.
  int32_t Position = 0;
  // The hook's extra output at parse time; the renderer overwrites it.
  std::string Extra;
  // The token's bytes as in the script (text runs: after escape handling).
  std::string Str;
  TSsMarkUpType MarkUpType = mtText;
};

// A token as a scan hands it to a sink. Its texts live only during the call:
// they point into the scanned text where the token stands there as it is
// (every tag; a text run whose escapes are kept), else into a scan buffer.
struct TSsToken {
  int32_t Position = 0;
  TSsMarkUpType MarkUpType = mtText;
  std::string_view Str;
  std::string_view Extra;
};

class ISsTokenSink {
 public:
  virtual void Take(const TSsToken& token) = 0;

 protected:
  ~ISsTokenSink() = default;
};

// What one scan works in; kept by its owner so that its storage is reused.
// Two scans running at once (one inside another's sink) need two of these.
struct TSsScanBuffers {
  std::string work;  // the script followed by two NUL bytes
  std::string run;   // a text run that is not the script's bytes as they stand
  TBracketCloses closes;
};

class ESsParserError : public Error {
 public:
  using Error::Error;
};

class TSsParser;

// Recognises markup ahead of the pattern lists. `script` runs from the
// backslash or percent sign to the end of the script; set `len` (> 0) to the
// markup's byte length counted from that backslash or percent sign, and
// `markType` to its kind (mtTag/mtUndefinedTag at a backslash, mtMeta at a
// percent sign).
using TSsParseEvent = std::function<void(TSsParser& sender, std::string_view script, int& len,
                                         TSsMarkUpType& markType, std::string& extra)>;

class TSsParser {
 public:
  TSsParser();

  const std::vector<std::string>& TagPattern() const { return tagPattern_; }
  void SetTagPattern(std::vector<std::string> lines);
  const std::vector<std::string>& MetaPattern() const { return metaPattern_; }
  void SetMetaPattern(std::vector<std::string> lines);

  const std::string& InputString() const { return input_; }
  // Stores the script and tokenizes it at once.
  void SetInputString(std::string_view script);

  // Replaces the tokens with those of InputString. On ESsParserError the
  // tokens made before the fault stay and the pending text run is dropped.
  void Parse();
  void ClearMarkUps() { count_ = 0; }

  // Tokenizes `script` as Parse does, handing each token to `sink` in script
  // order; InputString and the token list stay as they are. On
  // ESsParserError the sink has had the tokens before the fault.
  void Scan(std::string_view script, TSsScanBuffers& buffers, ISsTokenSink& sink);
  // The same over a text whose first NUL byte (the end of the script) is
  // followed by another, scanned where it lies without a copy.
  void ScanTerminated(const char* text, TSsScanBuffers& buffers, ISsTokenSink& sink);

  int Count() const { return static_cast<int>(count_); }
  std::string Str(int i) const;    // out of range: empty
  std::string Extra(int i) const;  // out of range: empty
  void SetExtra(int i, std::string extra);  // out of range: ESsParserError
  TSsMarkUpType MarkUpType(int i) const;    // out of range: ESsParserError
  const TSsMarkUp& MarkUp(int i) const {    // out of range: ESsParserError
    if (!InRange(i)) ThrowIndexError();
    return markUps_[static_cast<std::size_t>(i)];
  }

  bool LeaveEscape = true;
  bool EscapeInvalidMeta = false;
  TSsParseEvent OnParse;

 private:
  bool InRange(int i) const { return i >= 0 && i < Count(); }
  [[noreturn]] static void ThrowIndexError();
  // The next token's place: a token left from an earlier run when there is
  // one (its strings keep their storage), else a new one.
  TSsMarkUp& NextMarkUp() {
    if (count_ == markUps_.size()) {
      TSsMarkUp& m = markUps_.emplace_back();
      ++count_;
      return m;
    }
    TSsMarkUp& m = markUps_[count_++];
    m.Extra.clear();
    return m;
  }
  class TListSink;
  // The scan over `s`, whose first NUL is followed by another.
  void ScanText(const char* s, TBracketCloses& closes, std::string& run, ISsTokenSink& sink);
  // Length of the markup at s (a backslash, or a percent sign for a meta,
  // whose length here excludes the percent sign), with `left` bytes up to the
  // end of the script; 0 when neither the hook nor a pattern line knows it.
  // `closes` remembers this scan's bracket walks.
  std::size_t MatchTag(const char* s, std::size_t left, TBracketCloses& closes, std::string& extra,
                       bool& undefined);
  std::size_t MatchMeta(const char* s, std::size_t left, TBracketCloses& closes,
                        std::string& extra);

  std::vector<std::string> tagPattern_;
  std::vector<std::string> metaPattern_;
  TPatternIndex tagIndex_;
  TPatternIndex metaIndex_;
  std::string input_;
  // The tokens are the first count_; those after them are kept for reuse.
  std::vector<TSsMarkUp> markUps_;
  std::size_t count_ = 0;
  // Scratch kept between runs so that parsing reuses its buffers.
  TSsScanBuffers buffers_;
};

// Reads a pattern file (CR LF, LF or CR line ends) whole into lines, empty
// lines kept in place so line numbers in error messages match the file.
// A file that cannot be opened raises EFOpenError ("ファイル %s は開けません").
std::vector<std::string> LoadPatternFile(const std::string& path);

// Matches one pattern line at `script`, which must be followed by a NUL byte
// (the scan end). Returns the number of script bytes taken, or 0 when the
// line does not match. Exposed for the tests and the fuzz target.
std::size_t MatchPatternLine(std::string_view line, const char* script);
// The same, with the bracket walks answered by `closes` (none: walked
// afresh), which must have been Reset on the text that holds `script`.
std::size_t MatchPatternLine(std::string_view line, const char* script, TBracketCloses* closes);

}  // namespace hollowmere
