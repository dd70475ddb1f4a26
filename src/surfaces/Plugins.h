// Surface preview plugins as the program sees them: one loaded library
// (TSppPlugin), its adapter for interface version 1 (TSppImplementation1),
// and the pictures they give (TSppImage, keyed by ghost name and surface key).
// Invariant: a TSppPlugin that exists, until its Release, has a loaded
// library, an adapter whose five entry points were all found, and has had its
// Load called; Unload is called exactly once before the library goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#ifndef SPP_NO_PROTOTYPES
#define SPP_NO_PROTOTYPES  // the plugin's own names stay out of the program
#endif
#include "hollowmere/spp.h"
#include "platform/Bitmap.h"
#include "platform/DynamicLibrary.h"
#include "text/Error.h"

namespace hollowmere {

// Failures of plugins and surface keys; the message is shown as it is.
class ESppException : public Error {
 public:
  using Error::Error;
};

// Plugin pictures larger than this on a side are refused as absurd.
inline constexpr int32_t kMaxPluginPictureSide = 16384;

// One picture (possibly empty: no plugin had it) with the key it answers.
struct TSppImage {
  hollowmere::Bitmap Bitmap;  // owned picture, empty for a remembered miss
  std::string SurfaceKey;
  std::string GhostName;

  TSppImage() = default;
  TSppImage(hollowmere::Bitmap bitmap, std::string surfaceKey, std::string ghostName)
      : Bitmap(std::move(bitmap)), SurfaceKey(std::move(surfaceKey)), GhostName(std::move(ghostName)) {}

  // Same ghost name (byte for byte, so case counts) and the key holds.
  bool Matches(const std::string& ghostName, int32_t surfaceId, uint8_t selector) const;

  // Key syntax: id part "," selector part. Id part "*" or items joined by
  // "&" (blanks also separate), each a number ("5", "-1") or a range
  // ("3-7"); selector part "*" or a decimal number. A malformed key raises
  // ESppException "Syntax error found in SurfaceKey "<key>"".
  bool SurfaceKeyMatches(int32_t surfaceId, uint8_t selector) const;
};

class TSppPlugin;

// Adapter between the program and one interface version of a library.
class TSppImplementation {
 public:
  explicit TSppImplementation(TSppPlugin& plugin) : plugin_(&plugin) {}
  virtual ~TSppImplementation() = default;
  TSppImplementation(const TSppImplementation&) = delete;
  TSppImplementation& operator=(const TSppImplementation&) = delete;

  virtual void Load() = 0;
  // A new picture, or nullptr when the library has none for the request.
  virtual std::unique_ptr<TSppImage> GetImage(const std::string& ghostName, int32_t surfaceId,
                                              uint8_t selector) = 0;
  virtual void Unload() = 0;
  virtual void Configure() = 0;

 protected:
  // The plugin this adapter belongs to (not owned).
  TSppPlugin& Plugin() const { return *plugin_; }

 private:
  TSppPlugin* plugin_;
};

// Interface version 1: the five entry points besides GetVersion.
class TSppImplementation1 : public TSppImplementation {
 public:
  // Looks the entry points up in the plugin's library; raises ESppException
  // "Error Getting Procedure Address" when any is missing.
  explicit TSppImplementation1(TSppPlugin& plugin);

  void Load() override;
  std::unique_ptr<TSppImage> GetImage(const std::string& ghostName, int32_t surfaceId,
                                      uint8_t selector) override;
  void Unload() override;
  void Configure() override;

 private:
  SppLoadProc load_ = nullptr;
  SppUnloadProc unload_ = nullptr;
  SppGetImageProc getImage_ = nullptr;
  SppGetImageSizeProc getImageSize_ = nullptr;
  SppConfigureProc configure_ = nullptr;
};

class TSppPlugin {
 public:
  // Loads the library at `fileName` (CP932), checks its version, finds its
  // entry points and calls its Load with the library's folder. Any failure
  // raises ESppException and leaves nothing loaded.
  explicit TSppPlugin(const std::string& fileName);
  // Unloads quietly; call Release() first to learn of a refused release.
  ~TSppPlugin();
  TSppPlugin(const TSppPlugin&) = delete;
  TSppPlugin& operator=(const TSppPlugin&) = delete;

  std::unique_ptr<TSppImage> GetImage(const std::string& ghostName, int32_t surfaceId,
                                      uint8_t selector);

  // Calls the library's Unload and releases it. Raises ESppException
  // "Error unloading module <path>" when the system refuses the release.
  // Does nothing the second time.
  void Release();

  // The loaded library, for looking up entry points; released by Release.
  const DynamicLibrary& Handle() const { return handle_; }

  std::string PluginName;
  std::string FileName;
  bool VersionFlag = false;

 private:
  // Unload (when an adapter exists), free the adapter, release the library.
  // False when the release was refused.
  bool Dispose();

  // Private, so that only loading and Release change them: the adapter
  // exists exactly while the library is loaded and its Load has been called.
  std::unique_ptr<TSppImplementation> implementation_;
  DynamicLibrary handle_;
};

}  // namespace hollowmere
