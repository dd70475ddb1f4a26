// Scratch folders for tests.
#include "support/TestPaths.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace hollowmere::testing {

std::string ReadFileBytes(const std::string& path) {
  // Copied through the stream buffer whole: a byte-at-a-time iterator is
  // slow enough under the sanitizers to dominate tests that read many pages.
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();
  return std::move(bytes).str();
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
