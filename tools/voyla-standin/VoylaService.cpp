// The stand-in's log store, queries and vote counting.
#include "VoylaService.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "text/Encoding.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere::standin {
namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool AllDigits(const std::string& s, std::size_t maxDigits) {
  return !s.empty() && s.size() <= maxDigits &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int64_t> Stamp(const std::string& field) {
  if (field.size() < 14 || !AllDigits(field.substr(0, 14), 14)) return std::nullopt;
  const auto n = [&](std::size_t at, std::size_t len) { return std::stoi(field.substr(at, len)); };
  const TLocalTime t{{n(0, 4), n(4, 2), n(6, 2)}, {n(8, 2), n(10, 2), n(12, 2)}};
  if (!IsValidDate(t.Date) || !IsValidTime(t.Time)) return std::nullopt;
  return WallSeconds(t);
}

std::string StampText(int64_t seconds) {
  const TLocalTime t = FromWallSeconds(seconds);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.Date.Year, t.Date.Month, t.Date.Day,
                t.Time.Hour, t.Time.Minute, t.Time.Second);
  return buf;
}

std::string DayText(int64_t seconds) {
  const TLocalTime t = FromWallSeconds(seconds);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", t.Date.Year, t.Date.Month, t.Date.Day);
  return buf;
}

TReply Error(const std::string& messageUtf8) {
  return {200, "Result: Err\r\nExtraMessage: " + text::Sjis(messageUtf8) + "\r\n"};
}

std::string Raised(const std::string& count) {
  const int64_t n = AllDigits(count, 12) ? std::stoll(count) : 0;
  return std::to_string(n + 1);
}

}  // namespace

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && text::HexDigitValue(s[i + 1]) >= 0 &&
        text::HexDigitValue(s[i + 2]) >= 0) {
      out += static_cast<char>(text::HexDigitValue(s[i + 1]) * 16 + text::HexDigitValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

TVoylaService::TVoylaService(std::string_view log, const TLocalTime& now) : now_(WallSeconds(now)) {
  const std::vector<std::string> lines = text::SplitLines(log);
  if (lines.empty() || lines[0] != "Result: OK") throw EStandinLog("not a log: the first line is not \"Result: OK\"");
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::vector<std::string> f = Split(lines[i], '\t');
    const std::optional<int64_t> stamp = f.size() >= 8 ? Stamp(f[0]) : std::nullopt;
    if (!stamp) throw EStandinLog("line " + std::to_string(i + 1) + " is not a message");
    messages_.push_back({*stamp, {}, {}, f[1], f[2], f[3], f[4], f[5], f[6], f[7], {}, {}});
  }
  const int64_t shift = now_ - WallSeconds(Newest());
  for (std::size_t i = 0; i < messages_.size(); ++i) {
    messages_[i].Stamp += shift;
    Message& m = messages_[i];
    m.Head = StampText(m.Stamp) + '\t' + m.Mid + '\t' + m.Channel + '\t' + m.Ghost + '\t' + m.Connection + '\t';
    m.Tail = '\t' + m.Script + "\r\n";
    byMid_.try_emplace(messages_[i].Mid, i);
  }
}

TLocalTime TVoylaService::Newest() const {
  int64_t newest = messages_.empty() ? now_ : messages_[0].Stamp;
  for (const Message& m : messages_) newest = std::max(newest, m.Stamp);
  return FromWallSeconds(newest);
}

TReply TVoylaService::Handle(const std::string& method, const std::string& target, const std::string& body) {
  const std::size_t mark = target.find('?');
  const std::string path = target.substr(0, mark);
  std::lock_guard lock(mutex_);
  if (path == "/fetchlog.cgi") {
    if (method != "GET") return {405, "Result: Err\r\n"};
    std::map<std::string, std::string> query;
    if (mark != std::string::npos) {
      for (const std::string& pair : Split(target.substr(mark + 1), '&')) {
        const std::size_t eq = pair.find('=');
        query[PercentDecode(pair.substr(0, eq))] = eq == std::string::npos ? "" : PercentDecode(pair.substr(eq + 1));
      }
    }
    return FetchLog(query);
  }
  if (path == "/voyla2.cgi") {
    if (method != "POST") return {405, "Result: Err\r\n"};
    return Vote(body);
  }
  return {404, "Result: Err\r\n"};
}

TReply TVoylaService::FetchLog(const std::map<std::string, std::string>& query) {
  const auto value = [&](const char* key) {
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
  };
  if (query.contains("recent")) {
    const std::string minutes = value("recent");
    if (!AllDigits(minutes, 9)) return Error("recent は分数で指定してください");
    const int64_t from = now_ - std::stoll(minutes) * 60;
    return {200, CachedLog(from, now_, DayText(from) + " - " + DayText(now_))};
  }
  const char* keys[] = {"year_lo", "month_lo", "day_lo", "year_hi", "month_hi", "day_hi"};
  int v[6];
  for (int i = 0; i < 6; ++i) {
    const std::string s = value(keys[i]);
    if (!AllDigits(s, 4)) return Error(std::string("条件が正しくありません: ") + keys[i]);
    v[i] = std::stoi(s);
  }
  const TCivilDate lo{v[0], v[1], v[2]};
  const TCivilDate hi{v[3], v[4], v[5]};
  if (!IsValidDate(lo) || !IsValidDate(hi)) return Error("日付が正しくありません");
  const int64_t from = DaysFromCivil(lo) * 86400;
  const int64_t to = DaysFromCivil(hi) * 86400 + 86399;
  return {200, CachedLog(from, to, DayText(from) + " - " + DayText(to))};
}

std::shared_ptr<const std::string> TVoylaService::CachedLog(int64_t from, int64_t to,
                                                           const std::string& heading) {
  if (cachedLog_ == nullptr || cachedFrom_ != from || cachedTo_ != to) {
    cachedLog_ = std::make_shared<const std::string>(LogText(from, to, heading));
    cachedFrom_ = from;
    cachedTo_ = to;
  }
  return cachedLog_;
}

std::string TVoylaService::LogText(int64_t from, int64_t to, const std::string& heading) const {
  // Measured first, then written once: a whole log is tens of megabytes.
  std::size_t count = 0;
  std::size_t bytes = 0;
  for (const Message& m : messages_) {
    if (m.Stamp < from || m.Stamp > to) continue;
    ++count;
    bytes += m.Head.size() + m.Votes.size() + 1 + m.Agrees.size() + m.Tail.size();
  }
  std::string text = "Result: OK\r\nVoyla log " + heading + "\r\nCount: " + std::to_string(count) + "\r\n";
  text.reserve(text.size() + bytes);
  for (const Message& m : messages_) {
    if (m.Stamp < from || m.Stamp > to) continue;
    text += m.Head;
    text += m.Votes;
    text += '\t';
    text += m.Agrees;
    text += m.Tail;
  }
  return text;
}

TReply TVoylaService::Vote(const std::string& body) {
  std::map<std::string, std::string> fields;
  for (const std::string& line : text::SplitLines(PercentDecode(body))) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    std::size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    fields.try_emplace(line.substr(0, colon), line.substr(v));
  }
  const auto field = [&](const char* key) {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
  };
  if (field("Command") != "voteMessage") return Error("知らないコマンドです: " + text::Cp932ToUtf8Lossy(field("Command")));
  const std::string type = field("VoteType");
  if (type != "Vote" && type != "Agree") return Error("VoteType は Vote か Agree です");
  const std::string luid = field("LUID");
  if (luid.empty()) return Error("LUID がありません");
  if (luid.size() > kMaxLuidBytes) return Error("LUID が長すぎます");
  const std::string mid = field("MID");
  if (mid.empty()) return Error("MID がありません");
  const auto it = byMid_.find(mid);
  if (it == byMid_.end()) return Error("そのメッセージはありません: " + text::Cp932ToUtf8Lossy(mid));
  Message& m = messages_[it->second];
  const bool vote = type == "Vote";
  if (!(vote ? m.Voters : m.Agreers).insert(luid).second) {
    return Error(vote ? "このメッセージにはもう投票しています" : "このメッセージにはもう同意しています");
  }
  std::string& count = vote ? m.Votes : m.Agrees;
  count = Raised(count);
  cachedLog_.reset();
  return {200, "Result: OK\r\n"};
}

}  // namespace hollowmere::standin
