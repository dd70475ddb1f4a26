// Logs made for the archive tests: message lines from UTF-8 parts, and the
// pattern files the program ships.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "archive/LogArchiver.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere::testing {

struct LineSpec {
  std::string Stamp = "20040506070809";
  std::string Mid = "abc";
  std::string Channel = "雑談";
  std::string Ghost = "さくら";
  std::string Connection = "1";
  std::string Vote = "2";
  std::string Agree = "3";
  std::string Script = "\\0こんにちは\\e";
  std::string Rest;  // after the eighth field, TAB included
};

// The line in CP932, fields as given.
inline std::string Line(const LineSpec& s) {
  return text::Utf8ToCp932(s.Stamp + "\t" + s.Mid + "\t" + s.Channel + "\t" + s.Ghost + "\t" + s.Connection +
                           "\t" + s.Vote + "\t" + s.Agree + "\t" + s.Script + s.Rest);
}

inline std::string Log(const std::vector<std::string>& lines) {
  std::string log = "Result: OK\r\ntest\r\nCount\r\n";
  for (const auto& l : lines) log += l + "\r\n";
  return log;
}

inline TVisibleText& ShippedVisibleText() {
  static TVisibleText v = TVisibleText::FromFolder(SourceDir() + "/data/");
  return v;
}

inline TMergeCounts MergeLog(IArchiveStore& store, const std::string& log, int64_t seenAt = 1) {
  TLogEntries entries(log, ShippedVisibleText());
  return store.Merge(entries, seenAt);
}

// A numbered message: stamp k seconds after a base day, MID "m<k>".
inline std::string NumberedLine(int k, const std::string& script = "\\0番号つき\\e") {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "200405%02d%02d%02d%02d", 1 + k / 86400 % 28, k / 3600 % 24, k / 60 % 60,
                k % 60);
  LineSpec s;
  s.Stamp = stamp;
  s.Mid = "m" + std::to_string(k);
  s.Script = script;
  return Line(s);
}

}  // namespace hollowmere::testing
