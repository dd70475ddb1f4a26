// INI reading and writing against private-profile semantics, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Errors.h"
#include "platform/IniFile.h"
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

}  // namespace
}  // namespace hollowmere
