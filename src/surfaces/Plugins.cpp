// Loading one surface preview plugin, asking it for pictures, and matching
// cached pictures by surface key.
#include "surfaces/Plugins.h"

#include <cstring>
#include <vector>

#include "platform/DebugTrace.h"
#include "platform/FileSystem.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {

namespace {

ESppException SurfaceKeyError(const std::string& key) {
  return ESppException("Syntax error found in SurfaceKey \"" + key + "\"");
}

bool IsBlank(char c) { return c >= 0x01 && c <= ' '; }

// Items of an id part: separated by "&" and by runs of blanks. An "&" with
// nothing before the next one (or at the very end) yields an empty item,
// which then fails to convert.
std::vector<std::string> IdItems(const std::string& part) {
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = part.size();
  auto skipBlanks = [&] {
    while (p < n && IsBlank(part[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    const std::size_t start = p;
    while (p < n && !IsBlank(part[p]) && part[p] != '&') ++p;
    items.push_back(part.substr(start, p - start));
    skipBlanks();
    if (p < n && part[p] == '&') {
      ++p;
      if (p == n) items.emplace_back();
      skipBlanks();
    }
  }
  return items;
}

}  // namespace

// ---- TSppImage ----

bool TSppImage::Matches(const std::string& ghostName, int32_t surfaceId, uint8_t selector) const {
  return GhostName == ghostName && SurfaceKeyMatches(surfaceId, selector);
}

bool TSppImage::SurfaceKeyMatches(int32_t surfaceId, uint8_t selector) const {
  const std::size_t comma = text::Find(SurfaceKey, ",");
  if (comma == std::string::npos) throw SurfaceKeyError(SurfaceKey);
  const std::string idPart = SurfaceKey.substr(0, comma);
  const std::string selectorPart = SurfaceKey.substr(comma + 1);

  if (selectorPart != "*" && selectorPart != std::to_string(selector)) return false;
  if (idPart == "*") return true;

  for (const std::string& item : IdItems(idPart)) {
    // A minus sign in front is the sign of a single (negative) id, such as
    // the key left by a request for a negative surface; a later one splits
    // a range.
    const std::size_t minus = item.find('-', 1);
    if (minus != std::string::npos) {
      const auto low = text::TryStrToInt(std::string_view(item).substr(0, minus));
      const auto high = text::TryStrToInt(std::string_view(item).substr(minus + 1));
      if (!low || !high) throw SurfaceKeyError(SurfaceKey);
      if (*low <= surfaceId && surfaceId <= *high) return true;
    } else {
      const auto id = text::TryStrToInt(item);
      if (!id) throw SurfaceKeyError(SurfaceKey);
      if (*id == surfaceId) return true;
    }
  }
  return false;
}

// ---- TSppImplementation1 ----

TSppImplementation1::TSppImplementation1(TSppPlugin& plugin) : TSppImplementation(plugin) {
  const DynamicLibrary& lib = plugin.Handle();
  load_ = lib.Function<SppLoadProc>("Load");
  unload_ = lib.Function<SppUnloadProc>("Unload");
  getImage_ = lib.Function<SppGetImageProc>("GetImage");
  getImageSize_ = lib.Function<SppGetImageSizeProc>("GetImageSize");
  configure_ = lib.Function<SppConfigureProc>("Configure");
  if (!load_ || !unload_ || !getImage_ || !getImageSize_ || !configure_) {
    throw ESppException("Error Getting Procedure Address");
  }
}

void TSppImplementation1::Load() { load_(ExtractFilePath(Plugin().FileName).c_str()); }

void TSppImplementation1::Unload() { unload_(); }

void TSppImplementation1::Configure() { configure_(); }

std::unique_ptr<TSppImage> TSppImplementation1::GetImage(const std::string& ghostName,
                                                         int32_t surfaceId, uint8_t) {
  if (surfaceId < 0) return nullptr;
  int32_t width = 0;
  int32_t height = 0;
  if (getImageSize_(ghostName.c_str(), surfaceId, &width, &height) != 0) return nullptr;
  // A size nobody could mean would have us allocate gigabytes, or hand the
  // plugin a picture with no pixels to paint: treat it as no picture.
  if (width <= 0 || height <= 0 || width > kMaxPluginPictureSide ||
      height > kMaxPluginPictureSide) {
    return nullptr;
  }
  hollowmere::Bitmap picture(width, height);
  SppBitmap handle{width, height, picture.Stride(), picture.Pixels()};
  if (getImage_(ghostName.c_str(), surfaceId, &handle) != 0) return nullptr;
  return std::make_unique<TSppImage>(std::move(picture), std::to_string(surfaceId) + ",*",
                                     ghostName);
}

// ---- TSppPlugin ----

TSppPlugin::TSppPlugin(const std::string& fileName) : FileName(fileName) {
  try {
    if (!handle_.Open(FileName)) {
      DebugTrace("Error loading: " + handle_.LastError());
      throw ESppException("Error loading " + FileName);
    }
    const auto getVersion = handle_.Function<SppGetVersionProc>("GetVersion");
    if (getVersion == nullptr) throw ESppException(FileName + " is not a valid SPP module");
    char name[256] = {};
    int32_t version = 0;
    uint8_t flag = 0;
    getVersion(name, 256, &version, &flag);
    if (version != 1) {
      throw ESppException("Module " + FileName + " returned unsupported version number(" +
                          std::to_string(version) + ")");
    }
    implementation_ = std::make_unique<TSppImplementation1>(*this);
    PluginName.assign(name, strnlen(name, sizeof name));
    VersionFlag = flag != 0;
    implementation_->Load();
  } catch (...) {
    Dispose();
    throw;
  }
}

TSppPlugin::~TSppPlugin() { Dispose(); }

std::unique_ptr<TSppImage> TSppPlugin::GetImage(const std::string& ghostName, int32_t surfaceId,
                                                uint8_t selector) {
  if (!implementation_) return nullptr;
  return implementation_->GetImage(ghostName, surfaceId, selector);
}

void TSppPlugin::Release() {
  if (!Dispose()) throw ESppException("Error unloading module " + FileName);
}

bool TSppPlugin::Dispose() {
  if (implementation_) {
    implementation_->Unload();
    implementation_.reset();
  }
  return handle_.Release();
}

}  // namespace hollowmere
