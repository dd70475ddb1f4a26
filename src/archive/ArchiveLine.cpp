// Raw message lines. The log reader validates the text first; the split here
// then only cuts fields, so both always agree on which texts are logs.
#include "archive/ArchiveLine.h"

#include <cstdio>

#include "log/MessageItem.h"
#include "platform/Clock.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

// Cuts the next TAB-separated field off `rest` into `field` (whose buffer
// is reused: a merge reads a million lines into the same one); the last
// field takes all up to its TAB.
void TakeField(std::string_view& rest, bool last, std::string& field) {
  const std::size_t tab = rest.find('\t');
  field.assign(rest.substr(0, tab));
  if (last) {
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab);
  } else {
    rest = rest.substr(tab + 1);  // the log reader has made sure the TAB is there
  }
}

// Two independent 64-bit FNV-1a runs make a 128-bit digest: the key only has
// to tell apart lines without a MID, not resist anyone.
std::string LineDigest(std::string_view line) {
  uint64_t a = 0xcbf29ce484222325ULL;
  uint64_t b = 0x84222325cbf29ce4ULL;
  for (unsigned char c : line) {
    a = (a ^ c) * 0x100000001b3ULL;
    b = (b ^ c ^ 0x5a) * 0x00000100000001b3ULL + 0x9e3779b97f4a7c15ULL;
  }
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return hex;
}

int Digits(std::string_view s, std::size_t at, std::size_t n) {
  int v = 0;
  for (std::size_t i = at; i < at + n && i < s.size(); ++i) v = v * 10 + (s[i] - '0');
  return v;
}

}  // namespace

std::string TArchiveLine::Text() const {
  std::string line;
  line.reserve(Stamp.size() + Mid.size() + Channel.size() + Ghost.size() + Connection.size() +
               Vote.size() + Agree.size() + Script.size() + Rest.size() + 7);
  for (const std::string* f : {&Stamp, &Mid, &Channel, &Ghost, &Connection, &Vote, &Agree}) {
    line += *f;
    line += '\t';
  }
  line += Script;
  line += Rest;
  return line;
}

namespace {

// The log reader's test of one message line: eight fields and a stamp of a
// real date and time in its first 14 characters.
const char* LineFault(std::string_view line) {
  std::size_t tabs = 0;
  for (char c : line) tabs += c == '\t';
  if (tabs < 7) return "項目が8個ありません";
  const std::string_view stamp = line.substr(0, line.find('\t'));
  if (stamp.size() < 14) return "日時が14文字ありません";
  for (std::size_t i = 0; i < 14; ++i) {
    if (stamp[i] < '0' || stamp[i] > '9') return "日時が正しくありません";
  }
  if (StampSeconds(stamp) == 0 && stamp.substr(0, 14) != "19700101000000") return "日時が正しくありません";
  return nullptr;
}

}  // namespace

TArchiveLineReader::TArchiveLineReader(std::string_view logText) : lines_(logText) {
  std::string_view line;
  if (!lines_.Next(line)) throw ELogFormatError(text::Sjis("ログが空です"));
  if (line != "Result: OK") return;
  lines_.Next(line);
  lines_.Next(line);
  text::TLineReader check = lines_;
  for (std::size_t lineNumber = 4; check.Next(line); ++lineNumber) {
    if (const char* fault = LineFault(line)) {
      throw ELogFormatError(text::Sjis("ログの ") + std::to_string(lineNumber) +
                            text::Sjis(" 行目が正しくありません: ") + text::Sjis(fault));
    }
    ++count_;
  }
  isLog_ = true;
}

bool TArchiveLineReader::Next(TArchiveLine& line) {
  std::string_view raw;
  if (!isLog_ || !lines_.Next(raw)) return false;
  for (std::string* f : {&line.Stamp, &line.Mid, &line.Channel, &line.Ghost, &line.Connection, &line.Vote,
                         &line.Agree}) {
    TakeField(raw, false, *f);
  }
  TakeField(raw, true, line.Script);
  line.Rest.assign(raw);
  return true;
}

std::optional<std::vector<TArchiveLine>> SplitArchiveLines(std::string_view logText) {
  TArchiveLineReader reader(logText);
  if (!reader.IsLog()) return std::nullopt;
  std::vector<TArchiveLine> lines(reader.Size());
  for (auto& line : lines) reader.Next(line);
  return lines;
}

std::string ArchiveKey(const TArchiveLine& line) {
  if (!line.Mid.empty()) return "M" + line.Mid;
  return "D" + LineDigest(line.Text());
}

int64_t StampSeconds(std::string_view stamp) {
  TLocalTime t{{Digits(stamp, 0, 4), Digits(stamp, 4, 2), Digits(stamp, 6, 2)},
               {Digits(stamp, 8, 2), Digits(stamp, 10, 2), Digits(stamp, 12, 2)}};
  if (stamp.size() < 14 || !IsValidDate(t.Date) || !IsValidTime(t.Time)) return 0;
  return WallSeconds(t);
}

std::string StampIso(std::string_view stamp) {
  char iso[32];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02d %02d:%02d:%02d", Digits(stamp, 0, 4) % 10000,
                Digits(stamp, 4, 2) % 100, Digits(stamp, 6, 2) % 100, Digits(stamp, 8, 2) % 100,
                Digits(stamp, 10, 2) % 100, Digits(stamp, 12, 2) % 100);
  return iso;
}

std::string ArchiveLogHead(std::string_view title, uint64_t lines) {
  std::string out = "Result: OK\r\n";
  out += title;
  out += "\r\nCount: " + std::to_string(lines) + "\r\n";
  return out;
}

std::string ArchiveLogText(const std::vector<TArchiveLine>& lines, std::string_view title) {
  std::string out = ArchiveLogHead(title, lines.size());
  for (const auto& line : lines) {
    out += line.Text();
    out += "\r\n";
  }
  return out;
}

}  // namespace hollowmere
