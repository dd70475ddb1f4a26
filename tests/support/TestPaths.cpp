// Scratch folders for tests.
#include "support/TestPaths.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace hollowmere::testing {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "hollowmere-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace hollowmere::testing
