// Scratch folders for tests.
#include "support/TestPaths.h"

#include <stdlib.h>

#include <stdexcept>

namespace hollowmere::testing {

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
