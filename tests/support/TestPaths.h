// Where tests find the source tree, the program folder and the test plugins,
// and a scratch folder per test that removes itself.
#pragma once

#include <filesystem>
#include <string>

namespace hollowmere::testing {

inline std::string SourceDir() { return HOLLOWMERE_SOURCE_DIR; }
inline std::string DistDir() { return HOLLOWMERE_DIST_DIR; }
inline std::string TestPluginDir() { return HOLLOWMERE_TEST_PLUGIN_DIR; }

// A file's whole content as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Writes the bytes, replacing the file.
void WriteFileBytes(const std::string& path, const std::string& content);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder path, ending in "/".
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace hollowmere::testing
