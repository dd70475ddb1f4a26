// Picture storage and the BMP writer (BITMAPFILEHEADER + BITMAPINFOHEADER,
// 24 bits per pixel, bottom-up rows padded to 4 bytes).
#include "platform/Bitmap.h"

#include <cstdio>
#include <stdexcept>

#include "platform/Errors.h"
#include "platform/FileSystem.h"

namespace hollowmere {

namespace {

void PutLe16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutLe32(std::string& out, uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

}  // namespace

Bitmap::Bitmap(int width, int height, uint32_t fill) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

std::string Bitmap::ToBmpBytes() const {
  const uint32_t rowBytes = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height_);
  const uint32_t headerBytes = 14 + 40;
  std::string out;
  out.reserve(headerBytes + imageBytes);
  out += "BM";
  PutLe32(out, headerBytes + imageBytes);
  PutLe32(out, 0);            // reserved
  PutLe32(out, headerBytes);  // offset of the pixel rows
  PutLe32(out, 40);           // BITMAPINFOHEADER
  PutLe32(out, static_cast<uint32_t>(width_));
  PutLe32(out, static_cast<uint32_t>(height_));  // positive: bottom-up
  PutLe16(out, 1);                                // planes
  PutLe16(out, 24);                               // bits per pixel
  PutLe32(out, 0);                                // BI_RGB
  PutLe32(out, imageBytes);
  PutLe32(out, 2835);  // 72 dpi
  PutLe32(out, 2835);
  PutLe32(out, 0);
  PutLe32(out, 0);
  for (int y = height_ - 1; y >= 0; --y) {
    const std::size_t rowStart = out.size();
    for (int x = 0; x < width_; ++x) {
      const uint32_t p = Pixel(x, y);
      out.push_back(static_cast<char>(p & 0xFF));          // blue
      out.push_back(static_cast<char>((p >> 8) & 0xFF));   // green
      out.push_back(static_cast<char>((p >> 16) & 0xFF));  // red
    }
    out.append(rowStart + rowBytes - out.size(), '\0');
  }
  return out;
}

void Bitmap::SaveToBmpFile(const std::string& path) const {
  const std::string bytes = ToBmpBytes();
  const std::string native = NativePath(path);
  std::FILE* f = std::fopen(native.c_str(), "wb");
  if (f == nullptr) throw FileCreateError(path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    // A broken picture would be kept for good by the surface cache.
    std::remove(native.c_str());
    throw FileCreateError(path);
  }
}

}  // namespace hollowmere
