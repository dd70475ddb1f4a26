// Looks inside a test plugin while the host uses it: the test holds its own
// handle on the same library file, so the plugin's counters stay alive (and
// shared with the host's copy) for the whole test.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "support/TestPaths.h"

namespace hollowmere::testing {

class PluginProbe {
 public:
  // `relative` is a path under the test plugin folder, e.g. "counting/counting.so".
  explicit PluginProbe(const std::string& relative) : path_(TestPluginDir() + relative) {
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error("cannot open " + path_);
    count_ = reinterpret_cast<int32_t (*)(const char*)>(dlsym(handle_, "SppProbeCount"));
    loadFolder_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "SppProbeLoadFolder"));
    lastGhost_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "SppProbeLastGhost"));
    auto reset = reinterpret_cast<void (*)()>(dlsym(handle_, "SppProbeReset"));
    if (!count_ || !loadFolder_ || !lastGhost_ || !reset) throw std::runtime_error("no probe");
    reset();
  }
  ~PluginProbe() { dlclose(handle_); }
  PluginProbe(const PluginProbe&) = delete;
  PluginProbe& operator=(const PluginProbe&) = delete;

  const std::string& path() const { return path_; }
  int loads() const { return count_("load"); }
  int unloads() const { return count_("unload"); }
  int sizeCalls() const { return count_("size"); }
  int imageCalls() const { return count_("image"); }
  int negativeIds() const { return count_("negative"); }
  std::string loadFolder() const { return loadFolder_(); }
  std::string lastGhost() const { return lastGhost_(); }

 private:
  std::string path_;
  void* handle_ = nullptr;
  int32_t (*count_)(const char*) = nullptr;
  const char* (*loadFolder_)() = nullptr;
  const char* (*lastGhost_)() = nullptr;
};

// True while some handle on the library at `path` is open in this process.
inline bool LibraryIsLoaded(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h == nullptr) return false;
  dlclose(h);
  return true;
}

}  // namespace hollowmere::testing
