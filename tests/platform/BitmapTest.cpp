// Pictures in memory and as BMP files.
#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/Errors.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

TEST(BitmapTest, SizeFillAndEmptiness) {
  EXPECT_TRUE(Bitmap().Empty());
  EXPECT_TRUE(Bitmap(0, 5).Empty());
  EXPECT_TRUE(Bitmap(5, 0).Empty());
  const Bitmap b(3, 2, 0xFF123456u);
  EXPECT_FALSE(b.Empty());
  EXPECT_EQ(b.Stride(), 12);
  EXPECT_EQ(b.Pixel(2, 1), 0xFF123456u);
  EXPECT_EQ(Bitmap(1, 1).Pixel(0, 0), 0xFFFFFFFFu);  // opaque white canvas
  EXPECT_THROW(Bitmap(-1, 2), std::invalid_argument);
}

TEST(BitmapTest, CopiesAreIndependent) {
  Bitmap a(2, 2, 0);
  Bitmap b = a;
  b.SetPixel(1, 1, 7);
  EXPECT_EQ(a.Pixel(1, 1), 0u);
  EXPECT_EQ(b.Pixel(1, 1), 7u);
}

TEST(BitmapTest, BmpBytesAreBottomUpBgrWithPaddedRows) {
  Bitmap b(3, 2, 0xFF000000u);
  b.SetPixel(0, 0, 0xFF112233u);  // top left
  b.SetPixel(2, 1, 0x80AABBCCu);  // bottom right; alpha dropped
  const std::string bmp = b.ToBmpBytes();
  const std::string header(
      "BM\x4E\0\0\0\0\0\0\0\x36\0\0\0"
      "\x28\0\0\0\x03\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
      "\0\0\0\0\0\0\0\0",
      54);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);
  EXPECT_EQ(bmp.substr(0, 54), header);
  // Bottom row first: black, black, CC BB AA, padding; then the top row.
  EXPECT_EQ(bmp.substr(54, 12), std::string("\0\0\0\0\0\0\xCC\xBB\xAA\0\0\0", 12));
  EXPECT_EQ(bmp.substr(66, 12), std::string("\x33\x22\x11\0\0\0\0\0\0\0\0\0", 12));
}

TEST(BitmapTest, SavingReplacesTheFile) {
  testing::TempDir dir;
  const std::string path = dir.file("pic.bmp");
  { std::ofstream(path) << "an older, longer file that must not survive the save"; }
  const Bitmap b(1, 1, 0xFF0000FFu);
  b.SaveToBmpFile(path);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), b.ToBmpBytes());
}

TEST(BitmapTest, UnwritablePathRaisesFileCreateError) {
  testing::TempDir dir;
  const std::string path = dir.file("no-folder/pic.bmp");
  try {
    Bitmap(1, 1).SaveToBmpFile(path);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              text::Sjis("ファイル ") + path + text::Sjis(" を作成できません"));
  }
}

}  // namespace
}  // namespace hollowmere
