// dlopen/dlsym/dlclose behind DynamicLibrary.
#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

#include "platform/FileSystem.h"
#include "platform/SharedLibraryFile.h"

namespace hollowmere {

namespace {

std::string DlErrorText() {
  const char* e = dlerror();
  return e != nullptr ? e : "";
}

}  // namespace

DynamicLibrary::~DynamicLibrary() { Release(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, nullptr);
    lastError_ = std::move(other.lastError_);
  }
  return *this;
}

bool DynamicLibrary::Open(const std::string& path) {
  Release();
  lastError_.clear();
  const std::string native = NativePath(path);
  // The loader itself would fault on a cut or foreign file.
  if (const std::optional<std::string> problem = SharedLibraryProblem(native)) {
    lastError_ = native + ": " + *problem;
    return false;
  }
  // RTLD_LOCAL: every plugin exports the same names; each must keep its own.
  handle_ = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    lastError_ = DlErrorText();
    return false;
  }
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

bool DynamicLibrary::Release() {
  if (handle_ == nullptr) return true;
  void* h = std::exchange(handle_, nullptr);
  if (dlclose(h) != 0) {
    lastError_ = DlErrorText();
    return false;
  }
  return true;
}

}  // namespace hollowmere
