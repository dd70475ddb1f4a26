// One message line of a log exactly as the service sent it, field by field,
// so that the archive can write it out again byte for byte. The bytes after
// the eighth field (fields the log reader ignores) are kept as they came.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/Sjis.h"

namespace hollowmere {

struct TArchiveLine {
  std::string Stamp;  // field 1 whole, characters past the 14th included
  std::string Mid;
  std::string Channel;
  std::string Ghost;
  std::string Connection;
  std::string Vote;
  std::string Agree;
  std::string Script;
  std::string Rest;  // a TAB and whatever follows field 8; empty for eight fields
  bool operator==(const TArchiveLine&) const = default;

  // The line as received, without its line break.
  std::string Text() const;
};

// The message lines of a log text, one at a time, without holding them all:
// a fetch of a million messages is read where it stands. The whole text is
// checked first by the log reader's rules, so the archive takes exactly the
// texts the pages take: IsLog() is false when the first line is not
// "Result: OK", and a malformed text raises ELogFormatError.
class TArchiveLineReader {
 public:
  explicit TArchiveLineReader(std::string_view logText);
  bool IsLog() const { return isLog_; }
  std::size_t Size() const { return count_; }
  // The next message line; false after the last.
  bool Next(TArchiveLine& line);

 private:
  text::TLineReader lines_;  // at the next message line
  bool isLog_ = false;
  std::size_t count_ = 0;
};

// All message lines at once (small texts, tests); nullopt when it is no log.
std::optional<std::vector<TArchiveLine>> SplitArchiveLines(std::string_view logText);

// The key a message is kept under: its MID exactly ("M" + MID), or for an
// empty MID a digest of the whole line ("D" + 32 hex digits).
std::string ArchiveKey(const TArchiveLine& line);

// Seconds of the wall-clock time in the stamp's first 14 characters, which
// the log reader has checked; 0 for a stamp that was never checked.
int64_t StampSeconds(std::string_view stamp);
// "YYYY-MM-DD HH:MM:SS" of the stamp's first 14 characters.
std::string StampIso(std::string_view stamp);

// A log text of the lines (each ended by CR LF) that the log reader accepts:
// "Result: OK", a title line and a count line, then the lines.
std::string ArchiveLogText(const std::vector<TArchiveLine>& lines, std::string_view title);
// The three head lines of such a text, for writers that stream the lines.
std::string ArchiveLogHead(std::string_view title, uint64_t lines);

}  // namespace hollowmere
