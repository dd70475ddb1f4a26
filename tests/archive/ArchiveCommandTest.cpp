// hollowmere-archive as a user runs it: exit statuses, what each
// subcommand prints, and the formats of search.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <filesystem>
#include <sstream>

#include "ArchiveTestLog.h"
#include "app/ArchiveCommand.h"
#include "log/MessageItem.h"

namespace hollowmere::testing {
namespace {

struct CommandRun {
  int Status;
  std::string Out, Err;
};

CommandRun Archive(std::vector<std::string> args) {
  args.push_back("--patterns");
  args.push_back(SourceDir() + "/data");
  std::ostringstream out, err;
  const int status = RunArchiveCommand(args, out, err, false);
  return {status, out.str(), err.str()};
}

TEST(ArchiveCommand, ExitStatusAndMessagesTable) {
  TempDir dir;
  const std::string db = dir.file("a.sqlite3");
  const std::string sample = SourceDir() + "/data/log.txt";
  WriteFileBytes(dir.file("notlog.txt"), "hello\r\n");
  // A message whose ghost and text would set the terminal's title and clear it.
  WriteFileBytes(dir.file("escape.txt"),
                 "Result: OK\r\nt\r\nc\r\n20040506070910\tesc1\tch\tG\x1b]0;x\x07\t1\t2\t3\tzq\x1b[2Jzq\r\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // expected in standard output ("" for nothing in particular)
    const char* err;  // expected in standard error
  } cases[] = {
      {{"--help"}, 0, "usage: hollowmere-archive", ""},
      {{}, 2, "", "no command given"},
      {{"frobnicate", "--archive", db}, 2, "", "unknown command frobnicate"},
      {{"import", "--archive", db}, 2, "", "import needs at least one log file"},
      {{"search", "x", "--limit", "many", "--archive", db}, 2, "", "--limit wants a number"},
      {{"search", "x", "--format", "xml", "--archive", db}, 2, "", "--format is text, log or json"},
      {{"export", "--since", "yesterday", "--archive", db}, 2, "", "--since wants a date"},
      {{"stats", "extra", "--archive", db}, 2, "", "stats takes no argument extra"},
      {{"import", sample, "--archive", db}, 0, "320 new, 0 changed, 0 unchanged", ""},
      {{"import", sample, "--archive", db}, 0, "0 new, 0 changed, 320 unchanged", ""},
      {{"import", dir.file("notlog.txt"), "--archive", db}, 1, "", "is not a Voyla log"},
      {{"import", dir.file("missing.txt"), "--archive", db}, 1, "", "missing.txt"},
      {{"search", "ghost:", "--archive", db}, 1, "", "ghost: needs a value"},
      {{"search", "存在しない言葉", "--archive", db}, 0, "", "0 of 0 messages"},
      {{"search", "天気", "ghost:毒子", "--limit", "1", "--archive", db}, 0, "\t毒子\t", "1 of "},
      {{"stats", "--archive", db}, 0, "messages: 320\n", ""},
      {{"check", "--archive", db}, 0, ": ok\n", ""},
      {{"stats", "--archive", sample}, 1, "", "not a Hollowmere archive"},
      {{"search", "x", "--archive", dir.file("typo.sqlite3")}, 1, "", "no archive at"},
      {{"check", "--archive", dir.file("typo.sqlite3")}, 1, "", "no archive at"},
      {{"import", dir.file("escape.txt"), "--archive", db}, 0, "1 new", ""},
      {{"search", "zq", "--archive", db}, 0, "\tG^[]0;x^G\tch\tzq^[[2Jzq\n", "1 of 1"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const CommandRun r = Archive(c.args);
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_NE(r.Out.find(c.out), std::string::npos) << r.Out;
    EXPECT_NE(r.Err.find(c.err), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("typo.sqlite3"))) << "a command that only reads made an archive";
}

TEST(ArchiveCommand, SearchFormatsAndExportFilters) {
  TempDir dir;
  const std::string db = dir.file("a.sqlite3");
  ASSERT_EQ(Archive({"import", SourceDir() + "/data/log.txt", "--archive", db}).Status, 0);

  const CommandRun json = Archive({"search", "テスト", "--format", "json", "--limit", "3", "--archive", db});
  ASSERT_EQ(json.Status, 0) << json.Err;
  const auto hits = nlohmann::json::parse(json.Out);
  ASSERT_EQ(hits.size(), 3u);
  for (const auto& h : hits) {
    for (const char* key : {"mid", "posted", "ghost", "channel", "connection", "vote", "agree", "text"}) {
      EXPECT_TRUE(h.contains(key) && h[key].is_string()) << key;
    }
    EXPECT_NE(h["text"].get<std::string>().find("テスト"), std::string::npos);
    EXPECT_EQ(h["text"].get<std::string>().find("\\s["), std::string::npos);
  }
  EXPECT_GE(hits[0]["posted"].get<std::string>(), hits[1]["posted"].get<std::string>());
  EXPECT_EQ(hits[0]["posted"].get<std::string>().size(), 19u);

  // The log format is a log the pages take, holding exactly the hits.
  const CommandRun log = Archive({"search", "テスト", "--format", "log", "--limit", "3", "--archive", db});
  const auto parsed = ParseLog(log.Out);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), 3u);
  EXPECT_EQ(text::Cp932ToUtf8((*parsed)[0].HeaderValue("MID")), hits[0]["mid"].get<std::string>());

  const CommandRun all = Archive({"export", "--archive", db});
  const CommandRun one = Archive({"export", "--ghost", "毒子", "--since", "2004/05/06", "--until", "2004-05-06",
                           "--archive", db});
  const auto allLines = ParseLog(all.Out), oneLines = ParseLog(one.Out);
  ASSERT_TRUE(allLines && oneLines);
  EXPECT_EQ(allLines->size(), 320u);
  std::size_t want = 0;
  for (const auto& m : *allLines) {
    want += m.GhostName == text::Utf8ToCp932("毒子") && m.PostedAt.Day == 6;
  }
  EXPECT_EQ(oneLines->size(), want);
  EXPECT_GT(want, 0u);
  // The streamed export counts its lines before writing them.
  EXPECT_NE(all.Out.find("\r\nCount: 320\r\n"), std::string::npos);
  EXPECT_NE(one.Out.find("\r\nCount: " + std::to_string(want) + "\r\n"), std::string::npos);
  EXPECT_NE(Archive({"export", "--ghost", "nobody", "--archive", db}).Out.find("\r\nCount: 0\r\n"),
            std::string::npos);

  // Output that cannot be written is a failure, not an export.
  std::ostream broken(nullptr);
  std::ostringstream err;
  EXPECT_EQ(RunArchiveCommand({"export", "--archive", db}, broken, err, false), 1);
  EXPECT_NE(err.str().find("could not be written"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace hollowmere::testing
