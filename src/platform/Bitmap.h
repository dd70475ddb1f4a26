// A picture in memory: width x height pixels of 32 bits, 0xAARRGGBB in a
// native uint32_t, row 0 at the top. Invariant: the pixel buffer always holds
// exactly Width() * Height() values, rows packed with no padding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hollowmere {

class Bitmap {
 public:
  // The empty picture (0 x 0).
  Bitmap() = default;
  // A picture of the given size, every pixel set to `fill`. Negative sizes
  // raise std::invalid_argument.
  Bitmap(int width, int height, uint32_t fill = 0xFFFFFFFFu);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // True when the picture has no pixels (either side is 0).
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // Bytes from one row to the next.
  int Stride() const { return width_ * 4; }
  uint32_t* Pixels() { return pixels_.data(); }
  const uint32_t* Pixels() const { return pixels_.data(); }

  uint32_t Pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
  void SetPixel(int x, int y, uint32_t argb) {
    pixels_[static_cast<std::size_t>(y) * width_ + x] = argb;
  }

  // Writes the picture as a 24-bit Windows BMP file at `path` (CP932),
  // replacing any file there; alpha is dropped. Raises EFCreateError
  // "ファイル %s を作成できません" when the file cannot be written, and
  // leaves no partial file behind.
  void SaveToBmpFile(const std::string& path) const;

  // The bytes SaveToBmpFile writes.
  std::string ToBmpBytes() const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace hollowmere
