// Picture storage and its BMP form (24 bits per pixel, through stb's writer).
#include "platform/Bitmap.h"

#include <stb_image_write.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/FileSystem.h"

namespace hollowmere {

namespace {

void AppendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

}  // namespace

Bitmap::Bitmap(int width, int height, uint32_t fill) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

std::string Bitmap::ToBmpBytes() const {
  // stb takes rows of R, G, B bytes, top row first.
  std::vector<unsigned char> rgb;
  rgb.reserve(pixels_.size() * 3);
  for (const uint32_t p : pixels_) {
    rgb.push_back(static_cast<unsigned char>((p >> 16) & 0xFF));
    rgb.push_back(static_cast<unsigned char>((p >> 8) & 0xFF));
    rgb.push_back(static_cast<unsigned char>(p & 0xFF));
  }
  std::string out;
  if (width_ == 0 || height_ == 0 ||
      stbi_write_bmp_to_func(&AppendBytes, &out, width_, height_, 3, rgb.data()) == 0) {
    throw std::invalid_argument("no picture to encode");
  }
  return out;
}

void Bitmap::SaveToBmpFile(const std::string& path) const {
  // Replaced whole: a broken picture would be kept for good by the surface cache.
  WriteFileReplacing(path, ToBmpBytes());
}

}  // namespace hollowmere
