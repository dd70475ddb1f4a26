// Raw message lines. The log reader validates the text first; the split here
// then only cuts fields, so both always agree on which texts are logs.
#include "archive/ArchiveLine.h"

#include <cstdio>

#include "log/MessageItem.h"
#include "platform/Clock.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

constexpr std::size_t kHeadLines = 3;

// Cuts the next TAB-separated field off `rest`; the last field takes all.
std::string TakeField(std::string_view& rest, bool last) {
  if (last) {
    const std::size_t tab = rest.find('\t');
    std::string field(rest.substr(0, tab));
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab);
    return field;
  }
  const std::size_t tab = rest.find('\t');
  std::string field(rest.substr(0, tab));
  rest = rest.substr(tab + 1);  // the log reader has made sure the TAB is there
  return field;
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

std::optional<std::vector<TArchiveLine>> SplitArchiveLines(std::string_view logText) {
  if (!ParseLog(logText)) return std::nullopt;
  std::vector<TArchiveLine> lines;
  text::TLineReader reader(logText);
  std::string_view raw;
  for (std::size_t n = 0; reader.Next(raw); ++n) {
    if (n < kHeadLines) continue;
    TArchiveLine& line = lines.emplace_back();
    line.Stamp = TakeField(raw, false);
    line.Mid = TakeField(raw, false);
    line.Channel = TakeField(raw, false);
    line.Ghost = TakeField(raw, false);
    line.Connection = TakeField(raw, false);
    line.Vote = TakeField(raw, false);
    line.Agree = TakeField(raw, false);
    line.Script = TakeField(raw, true);
    line.Rest = std::string(raw);
  }
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

std::string ArchiveLogText(const std::vector<TArchiveLine>& lines, std::string_view title) {
  std::string out = "Result: OK\r\n";
  out += title;
  out += "\r\nCount: " + std::to_string(lines.size()) + "\r\n";
  for (const auto& line : lines) {
    out += line.Text();
    out += "\r\n";
  }
  return out;
}

}  // namespace hollowmere
