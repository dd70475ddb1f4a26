// A shared library loaded by path, released when its owner goes away.
// Invariant: a DynamicLibrary either holds one live dlopen handle or none;
// moving hands the handle over, so it is closed exactly once.
#pragma once

#include <string>

namespace hollowmere {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();  // releases quietly; use Release() to learn of a refusal
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library at `path` (CP932) with every symbol bound now, after
  // releasing any library held before. A file that is no complete shared
  // library for this machine is refused before the system loader sees it.
  // False when refused; LastError() then says why (for diagnostics only).
  bool Open(const std::string& path);

  bool IsLoaded() const { return handle_ != nullptr; }

  // The address of an exported symbol, or nullptr when there is none.
  void* Symbol(const char* name) const;

  template <typename Fn>
  Fn Function(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }

  // Releases the library. False when the system refused (the handle is
  // given up all the same); true when released or nothing was held.
  bool Release();

  const std::string& LastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  std::string lastError_;
};

}  // namespace hollowmere
