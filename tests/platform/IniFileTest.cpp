// INI reading and writing against private-profile semantics, on real files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/IniFileText.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using testing::TempDir;

TEST(TIniFile, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  TIniFile ini(dir.file("none.ini"));
  EXPECT_EQ(ini.ReadString("General", "SppDir", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 145), 145);
  EXPECT_TRUE(ini.ReadBool("General", "RenderingMode", true));
  testing::WriteFileBytes(dir.file("a.ini"), "[Other]\r\nSppDir=x\r\n");
  TIniFile other(dir.file("a.ini"));
  EXPECT_EQ(other.ReadString("General", "SppDir", "def"), "def");
  EXPECT_EQ(other.ReadString("Other", "Missing", "def"), "def");
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));  // reading never creates
}

TEST(TIniFile, NamesIgnoreCaseAndValuesAreTrimmed) {
  TempDir dir;
  testing::WriteFileBytes(dir.file("a.ini"),
      "; comment\n[general]\n  sppdir =  /p/q  \nQuoted=\"  x  \"\nEmpty=\n[GENERAL]\nSppDir=second\n");
  TIniFile ini(dir.file("a.ini"));
  EXPECT_EQ(ini.ReadString("General", "SppDir", ""), "/p/q");
  EXPECT_EQ(ini.ReadString("General", "Quoted", ""), "  x  ");
  EXPECT_EQ(ini.ReadString("General", "Empty", "def"), "");
  EXPECT_TRUE(ini.ValueExists("General", "Empty"));
}

TEST(TIniFile, IntegersAndBooleans) {
  TempDir dir;
  testing::WriteFileBytes(dir.file("a.ini"),
      "[G]\nHex=0x20\nHexUpper=0X1F\nShort=0x\nWord=abc\nNeg=-5\nBool7=7\nBool0=0\nDollar=$10\n");
  TIniFile ini(dir.file("a.ini"));
  EXPECT_EQ(ini.ReadInteger("G", "Hex", 100), 32);
  EXPECT_EQ(ini.ReadInteger("G", "HexUpper", 100), 31);
  EXPECT_EQ(ini.ReadInteger("G", "Short", 100), 100);
  EXPECT_EQ(ini.ReadInteger("G", "Word", 100), 100);
  EXPECT_EQ(ini.ReadInteger("G", "Neg", 100), -5);
  EXPECT_EQ(ini.ReadInteger("G", "Dollar", 100), 16);
  EXPECT_TRUE(ini.ReadBool("G", "Bool7", false));
  EXPECT_FALSE(ini.ReadBool("G", "Bool0", true));
  EXPECT_TRUE(ini.ReadBool("G", "Word", true));
  EXPECT_FALSE(ini.ReadBool("G", "Word", false));
}

TEST(TIniFile, LongValuesAreCutTo2047Bytes) {
  TempDir dir;
  testing::WriteFileBytes(dir.file("a.ini"), "[G]\nK=" + std::string(3000, 'v') + "\n");
  EXPECT_EQ(TIniFile(dir.file("a.ini")).ReadString("G", "K", "").size(), 2047u);
}

TEST(TIniFile, WritesOneKeyAndLeavesTheRestAlone) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  testing::WriteFileBytes(path, "; keep me\r\n[General]\r\nLUID=old\r\nOther=1\r\n\r\n[Form]\r\nTop=1\r\n");
  TIniFile ini(path);
  ini.WriteString("general", "luid", "new");
  ini.WriteString("General", "Added", "2");
  ini.WriteInteger("Play", "Enabled", 1);
  EXPECT_EQ(testing::ReadFileBytes(path),
            "; keep me\r\n[General]\r\nluid=new\r\nOther=1\r\nAdded=2\r\n\r\n[Form]\r\nTop=1\r\n"
            "\r\n[Play]\r\nEnabled=1\r\n");
  ini.DeleteKey("General", "Other");
  EXPECT_EQ(ini.ReadString("General", "Other", "gone"), "gone");
  EXPECT_EQ(ini.ReadString("General", "LUID", ""), "new");
}

TEST(TIniFile, ShiftJisPathsAreUtf8OnDisk) {
  TempDir dir;
  const std::string name = text::Sjis("設定.ini");
  TIniFile ini(dir.path() + name);
  ini.WriteInteger("Form", "Top", 7);
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "設定.ini"));
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 0), 7);
}

TEST(TIniFile, CreatesTheFileAndKeepsShiftJisBytes) {
  TempDir dir;
  TIniFile ini(dir.file("new.ini"));
  const std::string font = text::Sjis("ＭＳ 明朝");
  ini.WriteString("HTML", "Font", font);
  EXPECT_EQ(testing::ReadFileBytes(dir.file("new.ini")), "[HTML]\r\nFont=" + font + "\r\n");
  EXPECT_EQ(ini.ReadString("HTML", "Font", ""), font);
}

TEST(TIniFile, RefusedWriteRaisesWithTheFileNameAndChangesNothing) {
  TempDir dir;
  const std::string path = dir.file("missing-folder/a.ini");
  TIniFile ini(path);
  try {
    ini.WriteString("General", "LUID", "x");
    FAIL() << "write into a missing folder succeeded";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), path + text::Sjis(" に書き込めません"));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  // A folder where the file should be: reads give defaults, writes are refused.
  std::filesystem::create_directory(dir.file("folder.ini"));
  TIniFile folder(dir.file("folder.ini"));
  EXPECT_EQ(folder.ReadString("General", "LUID", "def"), "def");
  EXPECT_THROW(folder.WriteString("General", "LUID", "x"), EIniFileException);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));
  EXPECT_THROW(ini.WriteString("G", "K", "two\r\nlines"), std::invalid_argument);
}

// Edits in memory give the bytes single-key writes of the same keys give.
TEST(TIniText, AnEditChangesOnlyItsLine) {
  struct Case {
    const char* name;
    std::string before;
    std::function<void(TIniText&)> edit;
    std::string after;
  };
  const Case cases[] = {
      {"of two equal keys the first is changed, and once removed the second counts", "[S]\nk=1\nK=2\n",
       [](TIniText& t) { t.Set("s", "K", "x"); t.Remove("S", "k"); t.Set("S", "k", "y"); }, "[S]\r\nk=y\r\n"},
      {"a key removed from the end: the next goes after the last line left", "[S]\nk=1\n\nj=2\n\n[T]\n",
       [](TIniText& t) { t.Remove("S", "j"); t.Set("S", "n", "3"); }, "[S]\r\nk=1\r\nn=3\r\n\r\n\r\n[T]\r\n"},
      {"a key removed from the middle: the others keep their order", "[S]\na=1\nb=2\nc=3\n",
       [](TIniText& t) { t.Remove("S", "b"); t.Set("S", "b", "4"); }, "[S]\r\na=1\r\nc=3\r\nb=4\r\n"},
      {"every key removed: a new one follows the header", "[S]\na=1\n\n[T]\nx=1",
       [](TIniText& t) { t.Remove("S", "a"); t.Set("S", "z", "9"); }, "[S]\r\nz=9\r\n\r\n[T]\r\nx=1\r\n"},
      {"a new section follows one blank line", "x",
       [](TIniText& t) { t.Set("S", "k", "1"); t.Set("T", "k", "2"); }, "x\r\n\r\n[S]\r\nk=1\r\n\r\n[T]\r\nk=2\r\n"},
      {"no second blank line, nor one in an empty file", "[A]\n\n",
       [](TIniText& t) { t.Set("S", "k", "1"); }, "[A]\r\n\r\n[S]\r\nk=1\r\n"},
      {"lines before the first section and a later section of the name stay", "k=0\n[S]\nk=1\n[s]\nk=2\n",
       [](TIniText& t) { t.Set("S", "k", "5"); t.Remove("S", "k"); t.Set("S", "k", "6"); },
       "k=0\r\n[S]\r\nk=6\r\n[s]\r\nk=2\r\n"},
      {"comments, lines without \"=\" and every line break form stay, ended by CR LF", "; c\r[S]\r\n;k=1\nodd\nk=1",
       [](TIniText& t) { t.Set("S", "k", "2"); }, "; c\r\n[S]\r\n;k=1\r\nodd\r\nk=2\r\n"},
      {"only ASCII letters fold: a double-byte name is its own", "[\x83" "A]\nk=1\n",
       [](TIniText& t) { t.Set("\x83" "a", "k", "2"); }, "[\x83" "A]\r\nk=1\r\n\r\n[\x83" "a]\r\nk=2\r\n"},
      {"an absent key is no removal", "[S]\nk=1\n",
       [](TIniText& t) { EXPECT_FALSE(t.Remove("S", "j")); EXPECT_FALSE(t.Remove("T", "k")); }, "[S]\r\nk=1\r\n"},
  };
  for (const Case& c : cases) {
    TIniText text(c.before);
    c.edit(text);
    EXPECT_EQ(text.Bytes(), c.after) << c.name;
    // What the edits leave reads as the written file reads.
    const TIniText reread(text.Bytes());
    for (const char* key : {"k", "K", "j", "n", "a", "b", "z"}) {
      EXPECT_EQ(text.Find("S", key), reread.Find("S", key)) << c.name << " " << key;
    }
  }
  TIniText text;
  EXPECT_THROW(text.Set("S", " [k", "]"), std::invalid_argument);
  EXPECT_THROW(text.Set("S\n", "k", "v"), std::invalid_argument);
  EXPECT_EQ(text.Bytes(), "");
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What the folder holds, sub-folders included (a temporary file left shows).
std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
    names.push_back(e.path().lexically_relative(dir.path()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(TIniFile, AWriteGoesThroughSymbolicLinksToTheirFile) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // name, what it leads to
    std::string file;                                          // where the settings are
  };
  const Case cases[] = {
      {"a relative link", {{"a.ini", "real.ini"}}, "real.ini"},
      {"a chain into a folder", {{"a.ini", "sub/b.ini"}, {"sub/b.ini", "c.ini"}}, "sub/c.ini"},
      {"an absolute link", {{"a.ini", "@/sub/real.ini"}}, "sub/real.ini"},
      {"a link to nothing yet: the file is made there", {{"a.ini", "sub/new.ini"}}, "sub/new.ini"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    if (std::string(c.name).find("nothing") == std::string::npos) {
      testing::WriteFileBytes(dir.file(c.file), "[General]\r\nLUID=old\r\n");
    }
    for (const auto& [link, to] : c.links) {
      std::filesystem::create_symlink(to[0] == '@' ? dir.path() + to.substr(2) : to, dir.file(link));
    }
    TIniFile ini(dir.file("a.ini"));
    ini.WriteString("General", "LUID", "new");
    for (const auto& [link, to] : c.links) EXPECT_TRUE(std::filesystem::is_symlink(dir.file(link))) << c.name;
    EXPECT_EQ(TIniFile(dir.file(c.file)).ReadString("General", "LUID", ""), "new") << c.name;
    std::vector<std::string> expected{"sub", c.file};
    for (const auto& link : c.links) expected.push_back(link.first);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir), expected) << c.name;
  }
  TempDir dir;
  std::filesystem::create_symlink("b.ini", dir.file("a.ini"));
  std::filesystem::create_symlink("a.ini", dir.file("b.ini"));
  EXPECT_THROW(TIniFile(dir.file("a.ini")).WriteString("G", "K", "v"), EIniFileException);
}

TEST(TIniFile, AWriteKeepsTheModeAndANewFileIsPrivate) {
  struct Case {
    const char* name;
    mode_t before;  // 0: no file
    mode_t after;
  };
  const Case cases[] = {{"new", 0, 0600}, {"private", 0600, 0600}, {"group", 0640, 0640}, {"all", 0666, 0666}};
  const mode_t mask = ::umask(022);
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    if (c.before != 0) {
      testing::WriteFileBytes(path, "[G]\r\nK=1\r\n");
      ::chmod(path.c_str(), c.before);
    }
    TMemIniFile ini(path);
    ini.WriteString("G", "K", "2");
    ini.UpdateFile();
    EXPECT_EQ(ModeOf(path), c.after) << c.name;
    EXPECT_EQ(TIniFile(path).ReadString("G", "K", ""), "2") << c.name;
  }
  ::umask(mask);
}

// Also for a user whom the system lets write anywhere.
TEST(TIniFile, AReadOnlyFileIsLeftAsItIs) {
  for (const bool throughLink : {false, true}) {
    TempDir dir;
    const std::string file = dir.file(throughLink ? "real.ini" : "a.ini");
    testing::WriteFileBytes(file, "[G]\nK=1\n");
    ::chmod(file.c_str(), 0444);
    if (throughLink) std::filesystem::create_symlink("real.ini", dir.file("a.ini"));
    TIniFile ini(dir.file("a.ini"));
    try {
      ini.WriteString("G", "K", "2");
      ADD_FAILURE() << "a read-only file was written, through a link: " << throughLink;
    } catch (const EIniFileException& e) {
      EXPECT_EQ(std::string(e.what()), dir.file("a.ini") + text::Sjis(" に書き込めません"));
    }
    EXPECT_EQ(testing::ReadFileBytes(file), "[G]\nK=1\n");
    EXPECT_EQ(ModeOf(file), 0444u);
    EXPECT_EQ(Names(dir).size(), throughLink ? 2u : 1u);
  }
}

}  // namespace
}  // namespace hollowmere
