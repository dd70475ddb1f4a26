// What the fuzz targets share: a check that stops the run with a readable
// reason (so the sanitizer or libFuzzer saves the input), and a scratch
// folder of the run's own under the temporary folder, removed with
// everything in it when the run ends. No target writes anywhere else.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace hollowmere::fuzz {

inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

class TScratchFolder {
 public:
  TScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hollowmere-fuzz-XXXXXX";
    Check(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
    path_ = pattern;
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Without a trailing "/".
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The text before the first `separator` (all of it when there is none); the
// rest, after the separator, is left in `input`.
inline std::string_view TakeField(std::string_view& input, char separator) {
  const std::size_t at = input.find(separator);
  const std::string_view field = input.substr(0, at);
  input = at == std::string_view::npos ? std::string_view() : input.substr(at + 1);
  return field;
}

}  // namespace hollowmere::fuzz
