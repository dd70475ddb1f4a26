// What the archive keeps: the merge rules, lines byte for byte, and files
// that are not ours left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ArchiveTestLog.h"
#include "archive/SqliteArchive.h"
#include "archive/SqliteDb.h"
#include "log/MessageItem.h"

namespace hollowmere::testing {
namespace {

std::vector<TArchiveLine> Exported(IArchiveStore& store) {
  std::vector<TArchiveLine> lines;
  store.Export({}, [&](const TArchiveLine& l) { lines.push_back(l); });
  return lines;
}

TEST(ArchiveMerge, RulesTable) {
  LineSpec base;
  LineSpec risen = base;
  risen.Vote = "9";
  risen.Agree = "12";
  LineSpec edited = base;
  edited.Script = "\\0こんばんは\\e";
  LineSpec moved = base;
  moved.Channel = "能楽堂";
  LineSpec noMid = base;
  noMid.Mid = "";
  LineSpec noMid2 = noMid;
  noMid2.Script = "\\0別の文\\e";
  LineSpec upper = base;
  upper.Mid = "ABC";
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> logs;  // merged in order
    TMergeCounts last;                           // counts of the last merge
    std::size_t messages;
    std::size_t revisions;  // of the message with MID "abc"
    LineSpec current;       // what "abc" (or the only message) reads now
  } cases[] = {
      {"new message", {{Line(base)}}, {1, 0, 0}, 1, 0, base},
      {"same line again", {{Line(base)}, {Line(base)}}, {0, 0, 1}, 1, 0, base},
      {"counts risen: taken, no revision", {{Line(base)}, {Line(risen)}}, {0, 1, 0}, 1, 0, risen},
      {"script changed: revision kept", {{Line(base)}, {Line(edited)}}, {0, 1, 0}, 1, 1, edited},
      {"channel changed: revision kept", {{Line(base)}, {Line(moved)}}, {0, 1, 0}, 1, 1, moved},
      {"changed back: two revisions", {{Line(base)}, {Line(edited)}, {Line(base)}}, {0, 1, 0}, 1, 2, base},
      {"empty MIDs kept apart by line", {{Line(noMid), Line(noMid2)}, {Line(noMid)}}, {0, 0, 1}, 2, 0, base},
      {"MIDs differing in case", {{Line(base), Line(upper)}}, {2, 0, 0}, 2, 0, base},
      {"one log holding a MID twice", {{Line(base), Line(edited)}}, {1, 1, 0}, 1, 1, edited},
      {"one log holding a line twice", {{Line(base), Line(base)}}, {1, 0, 1}, 1, 0, base},
      {"empty MID twice in one log", {{Line(noMid), Line(noMid2), Line(noMid)}}, {2, 0, 1}, 2, 0, noMid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    auto store = OpenSqliteArchive(dir.file("a.sqlite3"));
    TMergeCounts counts;
    for (const auto& log : c.logs) counts = MergeLog(*store, Log(log));
    EXPECT_EQ(counts, c.last);
    const auto lines = Exported(*store);
    ASSERT_EQ(lines.size(), c.messages);
    const std::string want = Line(c.current);
    if (!c.current.Mid.empty() && c.name != std::string("empty MIDs kept apart by line")) {
      const auto it = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.Mid == "abc"; });
      ASSERT_NE(it, lines.end());
      EXPECT_EQ(it->Text(), want);
      const auto hits = store->Search(ParseSearchQuery(""), 10);
      const auto hit = std::find_if(hits.begin(), hits.end(), [](const auto& h) { return h.Line.Mid == "abc"; });
      ASSERT_NE(hit, hits.end());
      EXPECT_EQ(store->Revisions(hit->Id).size(), c.revisions);
    }
    EXPECT_TRUE(store->Check().empty());
  }
}

TEST(ArchiveMerge, RoundTripKeepsEveryByteOfEveryLine) {
  LineSpec odd;
  odd.Stamp = "20040508070809XYZ";  // characters past the 14th; after the sample
  odd.Mid = "";
  odd.Connection = "";
  odd.Rest = "\textra\tfields";
  odd.Script = "\\0ソ表\\\\\\n%\\e\x7f";
  std::string sample = ReadFileBytes(SourceDir() + "/data/log.txt");
  std::vector<std::string> lines = text::SplitLines(sample);
  lines.erase(lines.begin(), lines.begin() + 3);
  lines.push_back(Line(odd));
  TempDir dir;
  auto store = OpenSqliteArchive(dir.file("a.sqlite3"));
  MergeLog(*store, Log(lines));
  std::vector<std::string> out;
  for (const auto& l : Exported(*store)) out.push_back(l.Text());
  EXPECT_EQ(out, lines);
  // What export writes is a log the pages accept.
  std::vector<TArchiveLine> all = Exported(*store);
  const auto parsed = ParseLog(ArchiveLogText(all, "x"));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->size(), lines.size());
}

TEST(ArchiveMerge, AcceptsExactlyTheLogsTheLogReaderAccepts) {
  const std::string good = Line(LineSpec{});
  const std::string texts[] = {
      "",
      "Result: OK",
      "Result: OK\r\na\r\nb\r\n",
      "result: ok\r\na\r\nb\r\n" + good,
      "Result: OK\r\na\r\nb\r\n" + good + "\r\n\r\n",
      "Result: OK\na\nb\n" + good + "\n",
      "Result: OK\ra\rb\r" + good,
      "Result: OK\r\na\r\nb\r\n2004050607080\tm\tc\tg\t1\t2\t3\ts",
      "Result: OK\r\na\r\nb\r\n20041306070809\tm\tc\tg\t1\t2\t3\ts",
      "Result: OK\r\na\r\nb\r\n19700101000000\tm\tc\tg\t1\t2\t3\ts",
      "Result: OK\r\na\r\nb\r\n00000101000000\tm\tc\tg\t1\t2\t3\ts",
      "Result: OK\r\na\r\nb\r\n20040506070809\tm\tc\tg\t1\t2\t3",
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t);
    int reader = 0, archive = 0;  // 0 rejected, 1 accepted, 2 malformed
    try {
      const auto parsed = ParseLog(t);
      reader = parsed ? 1 : 0;
    } catch (const ELogFormatError&) {
      reader = 2;
    }
    try {
      const auto lines = SplitArchiveLines(t);
      archive = lines ? 1 : 0;
      if (lines) {
        EXPECT_EQ(lines->size(), ParseLog(t)->size());
      }
    } catch (const ELogFormatError&) {
      archive = 2;
    }
    EXPECT_EQ(archive, reader);
  }
}

TEST(ArchiveMerge, FilesThatAreNotOursAreRefusedAndLeftAlone) {
  const auto sqliteFile = [](const std::string& path, const char* sql) {
    sqlite::TDb db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Exec(sql);
  };
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* says;
  } cases[] = {
      {"text file", [](const std::string& p) { WriteFileBytes(p, "hello, this is my diary\n"); }, "not a Hollowmere archive"},
      {"short file", [](const std::string& p) { WriteFileBytes(p, "SQLite"); }, "not a Hollowmere archive"},
      {"another program's database",
       [&](const std::string& p) { sqliteFile(p, "CREATE TABLE t(x); INSERT INTO t VALUES(1)"); }, "not a Hollowmere archive"},
      {"newer archive",
       [&](const std::string& p) {
         { auto s = OpenSqliteArchive(p); }
         sqliteFile(p, "PRAGMA user_version=99");
       },
       "newer Hollowmere"},
      {"damaged header", [](const std::string& p) { WriteFileBytes(p, std::string("SQLite format 3\0", 16) + std::string(200, 'x')); }, "archive "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("archive.sqlite3");
    c.make(path);
    const std::string before = ReadFileBytes(path);
    try {
      OpenSqliteArchive(path);
      ADD_FAILURE() << "opened";
    } catch (const EArchiveError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(path), before);
  }
}

TEST(ArchiveMerge, NewFileIsOwnerOnly) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite3");
  OpenSqliteArchive(path);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace hollowmere::testing
