// Log parsing. Every message line is checked before any record is returned,
// so a caller never sees part of a malformed log.
#include "log/MessageItem.h"

#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

constexpr std::size_t kFieldCount = 8;
constexpr std::size_t kStampLength = 14;

ELogFormatError LineError(std::size_t lineNumber, const char* reasonUtf8) {
  return ELogFormatError(text::Sjis("ログの ") + std::to_string(lineNumber) +
                         text::Sjis(" 行目が正しくありません: ") + text::Sjis(reasonUtf8));
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// Reads the 14-digit stamp; false when a digit is missing or the date or time
// does not exist.
bool ParseStamp(std::string_view s, TDateTime& out) {
  int v[kStampLength];
  for (std::size_t i = 0; i < kStampLength; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v[i] = s[i] - '0';
  }
  out.Year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  out.Month = v[4] * 10 + v[5];
  out.Day = v[6] * 10 + v[7];
  out.Hour = v[8] * 10 + v[9];
  out.Minute = v[10] * 10 + v[11];
  out.Second = v[12] * 10 + v[13];
  if (out.Year < 1 || out.Month < 1 || out.Month > 12) return false;
  if (out.Day < 1 || out.Day > DaysInMonth(out.Year, out.Month)) return false;
  return out.Hour <= 23 && out.Minute <= 59 && out.Second <= 59;
}

// Splits at every TAB; an empty field keeps its place.
std::size_t SplitFields(std::string_view line, std::string_view (&fields)[kFieldCount]) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (count < kFieldCount) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields[count++] = line.substr(start);
      break;
    }
    fields[count++] = line.substr(start, tab - start);
    start = tab + 1;
  }
  return count;
}

}  // namespace

std::string TMessageItem::HeaderValue(std::string_view key) const {
  for (const auto& line : Headers) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
      if (key.empty()) return std::string();
      continue;
    }
    if (std::string_view(line).substr(0, colon) == key) return line.substr(colon + 1);
  }
  return std::string();
}

namespace {

// "Key:" and the value in one string, made in one allocation.
std::string HeaderLine(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size());
  line.append(key).append(value);
  return line;
}

}  // namespace

std::optional<std::vector<TMessageItem>> ParseLog(std::string_view text) {
  // The lines are read where they stand: a long log is not copied line by
  // line before its messages are.
  text::TLineReader lines(text);
  std::string_view line;
  if (!lines.Next(line)) throw ELogFormatError(text::Sjis("ログが空です"));
  if (line != "Result: OK") return std::nullopt;
  // The two lines after it are never read.
  lines.Next(line);
  lines.Next(line);

  std::vector<TMessageItem> messages;
  for (std::size_t lineNumber = 4; lines.Next(line); ++lineNumber) {
    std::string_view fields[kFieldCount];
    if (SplitFields(line, fields) < kFieldCount) {
      throw LineError(lineNumber, "項目が8個ありません");
    }
    if (fields[0].size() < kStampLength) {
      throw LineError(lineNumber, "日時が14文字ありません");
    }
    TMessageItem& item = messages.emplace_back();
    if (!ParseStamp(fields[0], item.PostedAt)) {
      throw LineError(lineNumber, "日時が正しくありません");
    }
    item.Headers.reserve(5);
    item.Headers.push_back(HeaderLine("MID:", fields[1]));
    item.Headers.push_back(HeaderLine("Channel:", fields[2]));
    item.Headers.push_back(HeaderLine("Connection:", fields[4]));
    item.Headers.push_back(HeaderLine("Vote:", fields[5]));
    item.Headers.push_back(HeaderLine("Agree:", fields[6]));
    item.GhostName = fields[3];
    item.Script = fields[7];
  }
  return messages;
}

}  // namespace hollowmere
