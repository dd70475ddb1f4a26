// hollowmere-render: its command line, its failures, and a real run of the
// built program on the shipped sample log.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/RenderCommand.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using testing::DistDir;
using testing::TempDir;
namespace fs = std::filesystem;

TEST(RenderArguments, DefaultsAndEveryOption) {
  const RenderCommandOptions d = ParseRenderArguments({"log.txt", "out"});
  EXPECT_EQ(d.PerPage, 100);
  EXPECT_TRUE(d.Emulation);
  EXPECT_EQ(d.FontUtf8, "ＭＳ 明朝");
  EXPECT_EQ(d.PluginsDir, "");
  EXPECT_EQ(d.CacheDir, "");
  EXPECT_EQ(d.PatternsDir, "");
  EXPECT_EQ(d.Locale, "");
  EXPECT_EQ(d.LogFile, "log.txt");
  EXPECT_EQ(d.OutDir, "out");

  const RenderCommandOptions o = ParseRenderArguments(
      {"--per-page", "7", "--mode=left", "--font", "IPAexMincho", "--plugins", "p", "--cache=c/",
       "--patterns", "pat", "--locale", "ja_JP", "--", "-log", "o"});
  EXPECT_EQ(o.PerPage, 7);
  EXPECT_FALSE(o.Emulation);
  EXPECT_EQ(o.FontUtf8, "IPAexMincho");
  EXPECT_EQ(o.PluginsDir, "p");
  EXPECT_EQ(o.CacheDir, "c/");
  EXPECT_EQ(o.PatternsDir, "pat");
  EXPECT_EQ(o.Locale, "ja_JP");
  EXPECT_EQ(o.LogFile, "-log");
  EXPECT_EQ(o.OutDir, "o");
}

TEST(RenderArguments, LocalesIcuKnows) {
  for (const char* locale : {"ja_JP", "ja", "de_DE", "en_US", "fr", "C", "POSIX", "ja_JP.UTF-8", ""}) {
    EXPECT_EQ(ParseRenderArguments({"--locale", locale, "a", "b"}).Locale, locale);
  }
}

TEST(RenderArguments, BadCommandLinesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"log.txt"},
      {"a", "b", "c"},
      {"--per-page", "abc", "a", "b"},
      {"--per-page", "0", "a", "b"},
      {"--per-page", "12x", "a", "b"},
      {"--mode", "right", "a", "b"},
      {"--frobnicate", "a", "b"},
      {"a", "b", "--font"},
      {"", "b"},
      {"--locale", "xx_YY", "a", "b"},  // a name ICU has no data for
      {"--locale=nonsense", "a", "b"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(ParseRenderArguments(args), ERenderUsage) << ::testing::PrintToString(args);
    std::ostringstream out, err;
    EXPECT_EQ(RunRenderCommand(args, out, err, false), 2);
    EXPECT_NE(err.str().find("usage: hollowmere-render"), std::string::npos);
    EXPECT_TRUE(out.str().empty());
  }
}

class RenderRun : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--patterns", testing::SourceDir() + "/data"});
    out.str("");
    err.str("");
    return RunRenderCommand(args, out, err, false);
  }
  std::string Log(const std::string& body) {
    const std::string path = dir.file("in.txt");
    std::ofstream(path, std::ios::binary) << body;
    return path;
  }
  TempDir dir;
  std::ostringstream out, err;
};

TEST_F(RenderRun, WritesPagesAndSaysWhere) {
  const std::string log = Log(
      "Result: OK\r\na\r\nb\r\n"
      "20040506070809\tM\tC\tG\t1\t2\t3\t\\0\\s[5]hi\\e\r\n"
      "20040506070810\tM\tC\tG\t1\t2\t3\t\\1yo\r\n");
  ASSERT_EQ(Run({"--per-page", "1", "--locale", "ja_JP", log, dir.file("pages")}), 0) << err.str();
  for (const char* name : {"long0.html", "long1.html", "long2.html"}) {
    EXPECT_TRUE(fs::is_regular_file(dir.file("pages/") + name)) << name;
  }
  EXPECT_TRUE(fs::is_directory(dir.file("pages/cache")));
  EXPECT_NE(out.str().find("2 messages on 3 pages"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("file://" + dir.file("pages/long0.html")), std::string::npos) << out.str();
  const std::string page = testing::ReadFileBytes(dir.file("pages/long1.html"));
  EXPECT_NE(page.find("<a href=\"file://" + dir.file("pages/long0.html") + "\">"), std::string::npos);
  EXPECT_NE(page.find("src=\"file://" + dir.file("pages/cache/G10.bmp") + "\""), std::string::npos);
}

TEST_F(RenderRun, ARejectedLogIsReportedAndMakesNoFolder) {
  EXPECT_EQ(Run({Log("Result: NG\r\n"), dir.file("pages")}), 1);
  EXPECT_NE(err.str().find("not a Voyla log"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"--cache", dir.file("pictures"), Log("Result: OK\r\na\r\nb\r\nshort line\r\n"),
                 dir.file("pages")}),
            1);
  EXPECT_FALSE(fs::exists(dir.file("pages")));
  EXPECT_FALSE(fs::exists(dir.file("pictures")));
}

// Only a regular file of at most 2 GB is read as a log.
// Only a regular file of at most 2 GB is read as a log.
TEST_F(RenderRun, LogsThatAreNoFilesOrTooLargeAreRefused) {
  const std::string big = Log("Result: OK\r\n");
  fs::resize_file(big, (uint64_t{1} << 31) + 1);
  for (const auto& [log, message] : {std::pair<std::string, std::string>{"/dev/zero", "/dev/zero は開けません"},
                                     {big, big + " は大きすぎます"}}) {
    EXPECT_EQ(Run({log, dir.file("pages")}), 1) << log;
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
  }
  EXPECT_FALSE(fs::exists(dir.file("pages")));
}

TEST_F(RenderRun, AFontNameCannotLeaveTheStyleBlock) {
  ASSERT_EQ(Run({"--font", "Evil\"; } </style><b>\\", "--locale", "ja_JP",
                 Log("Result: OK\r\na\r\nb\r\n20040506070809\tM\tC\tG\t1\t2\t3\thi\r\n"), dir.file("pages")}),
            0)
      << err.str();
  const std::string page = testing::ReadFileBytes(dir.file("pages/long0.html"));
  EXPECT_NE(page.find("font-family: \"Evil; } /styleb\";} --></style>"), std::string::npos) << page;
}

TEST_F(RenderRun, FailuresAreReportedWithoutPages) {
  // A missing log file.
  EXPECT_EQ(Run({dir.file("missing.txt"), dir.file("pages")}), 1);
  EXPECT_NE(err.str().find("missing.txt"), std::string::npos) << err.str();
  // A malformed message line: nothing is written.
  EXPECT_EQ(Run({Log("Result: OK\r\na\r\nb\r\nshort line\r\n"), dir.file("pages")}), 1);
  EXPECT_FALSE(err.str().empty());
  EXPECT_FALSE(fs::exists(dir.file("pages/long0.html")));
  // No pattern files where they are looked for.
  out.str("");
  err.str("");
  EXPECT_EQ(RunRenderCommand({"--patterns", dir.file("nowhere"), Log("Result: OK\r\na\r\nb\r\n"), dir.file("p")},
                             out, err, false),
            1);
  EXPECT_NE(err.str().find("tagpat.txt"), std::string::npos) << err.str();
  // A plugin folder that does not exist.
  EXPECT_EQ(Run({"--plugins", dir.file("noplugins"), Log("Result: OK\r\na\r\nb\r\n"), dir.file("p")}), 1);
  EXPECT_NE(err.str().find("plugin folder"), std::string::npos) << err.str();
}

// Without --plugins the pictures come from the window's plugin folder, else
// the installed plugins; the run says which, or that there are none.
TEST(RenderPlugins, TheWindowsFolderThenTheInstalledOne) {
  TempDir dir;
  const std::string program = dir.file("prog/");
  const std::string mine = dir.file("mine/");
  const std::string installed = dir.file("installed/");
  fs::create_directories(program);
  fs::create_directories(mine);
  fs::create_directories(installed);
  struct Case {
    const char* name;
    std::string ini;  // empty: no file
    std::string installedFolder;
    std::string folder;
    const char* noteHas;
  };
  const Case cases[] = {
      {"window's folder", "[General]\r\nSppDir=" + mine + "\r\n", installed, mine, "window's plugin folder"},
      {"window's folder without its slash", "[General]\r\nSppDir=" + dir.file("mine") + "\r\n", installed, mine,
       "window's plugin folder"},
      {"window's folder gone", "[General]\r\nSppDir=" + dir.file("gone/") + "\r\n", installed, installed,
       "installed plugins"},
      {"no settings", "", installed, installed, "installed plugins"},
      {"empty setting", "[General]\r\nSppDir=\r\n", installed, installed, "installed plugins"},
      {"nothing at all", "", dir.file("none/"), "", "no plugin folder"},
  };
  for (const Case& c : cases) {
    fs::remove(program + "Hollowmere.ini");
    if (!c.ini.empty()) std::ofstream(program + "Hollowmere.ini", std::ios::binary) << c.ini;
    const TRenderPlugins chosen = DefaultRenderPlugins(program, c.installedFolder);
    EXPECT_EQ(chosen.Folder, c.folder) << c.name;
    EXPECT_NE(chosen.Note.find(c.noteHas), std::string::npos) << c.name << ": " << chosen.Note;
  }
}

// The built program on the sample log, with the sample plugin.
TEST(RenderProgram, RendersTheSampleLogWithThePluginPictures) {
  const std::string program = DistDir() + "/hollowmere-render";
  ASSERT_TRUE(fs::exists(program)) << "build hollowmere-render first";
  TempDir dir;
  const std::string command = "'" + program + "' --per-page 50 --plugins '" + DistDir() + "/plugins' '" +
                              DistDir() + "/log.txt' '" + dir.file("out") + "' > '" + dir.file("stdout") +
                              "' 2> '" + dir.file("stderr") + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << testing::ReadFileBytes(dir.file("stderr"));
  EXPECT_NE(testing::ReadFileBytes(dir.file("stdout")).find("file://" + dir.file("out/long0.html")), std::string::npos);

  int pages = 0;
  for (; fs::exists(dir.file("out/long" + std::to_string(pages) + ".html")); ++pages) {
    const std::string page = testing::ReadFileBytes(dir.file("out/long" + std::to_string(pages) + ".html"));
    std::string utf8;
    ASSERT_NO_THROW(utf8 = text::Cp932ToUtf8(page)) << "page " << pages << " is not CP932";
    EXPECT_NE(utf8.find("charset=Shift_JIS"), std::string::npos);
    EXPECT_NE(utf8.find("ゴースト:"), std::string::npos);
    EXPECT_NE(utf8.find("font-family: \"ＭＳ 明朝\""), std::string::npos);
    for (const char* colour : {"#FFB6C1", "#B0C4DE", "#7FFFD4"}) {
      EXPECT_NE(page.find(colour), std::string::npos) << "page " << pages << " lacks " << colour;
    }
  }
  EXPECT_GE(pages, 2);

  // Surface -1's blank picture came along; the plugin made the others.
  EXPECT_EQ(testing::ReadFileBytes(dir.file("out/cache/General-1.bmp")),
            testing::ReadFileBytes(testing::SourceDir() + "/data/cache/General-1.bmp"));
  int pictures = 0;
  for (const auto& entry : fs::directory_iterator(dir.file("out/cache"))) {
    if (entry.path().extension() != ".bmp" || entry.path().filename() == "General-1.bmp") continue;
    ++pictures;
    EXPECT_EQ(testing::ReadFileBytes(entry.path().string()).substr(0, 2), "BM") << entry.path();
  }
  EXPECT_GT(pictures, 0);

  // Without --plugins the pictures still come, and the run says from where.
  const std::string bare = "'" + program + "' '" + DistDir() + "/log.txt' '" + dir.file("bare") + "' > '" +
                           dir.file("stdout") + "' 2> '" + dir.file("stderr") + "'";
  ASSERT_EQ(std::system(bare.c_str()), 0) << testing::ReadFileBytes(dir.file("stderr"));
  EXPECT_NE(testing::ReadFileBytes(dir.file("stderr")).find("surface pictures from "), std::string::npos)
      << testing::ReadFileBytes(dir.file("stderr"));
  EXPECT_TRUE(fs::exists(dir.file("bare/cache/General-1.bmp")));
  EXPECT_GT(std::distance(fs::directory_iterator(dir.file("bare/cache")), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace hollowmere
