// The one list of loaded surface preview plugins and its picture cache.
// Invariants: plugins are kept in load order and owned by the list;
// ImageCache is most recently used first, never longer than kImageCacheLimit,
// and remembers misses as entries with an empty picture until the next
// LoadFolder. Not thread-safe: one thread at a time (page workers take turns
// behind one lock, and the plugins are never called at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Ui.h"
#include "surfaces/Plugins.h"

namespace hollowmere {

class TSppList {
 public:
  static constexpr std::size_t kImageCacheLimit = 100;

  // `ownsObjects` must be true (the list always frees its plugins); false
  // raises Error "TSppList.OwnsObject must be set to true".
  TSppList(bool ownsObjects, IProgressWindowFactory& windows, IMessageBoxes& boxes);
  // Frees the cache, then unloads every plugin (quietly).
  ~TSppList();
  TSppList(const TSppList&) = delete;
  TSppList& operator=(const TSppList&) = delete;

  // Unloads every plugin, empties the cache and loads every "*.so" in
  // `folder` in directory order, naming each in a status window. A library
  // that fails to load is reported in a message box and skipped. An empty
  // folder text loads nothing. A refused release of an old plugin raises
  // ESppException after all of them are gone, before anything is loaded.
  void LoadFolder(const std::string& folder);

  // Answers one picture request from the cache or, failing that, from the
  // plugins in load order. True when the cache or a plugin answered; the
  // target then holds a copy of the picture, which may be empty when the
  // cache remembers that no plugin had it. False when no plugin had it now;
  // the target is left as it was.
  bool GetSurface(const std::string& ghostName, int32_t surfaceId, Bitmap& target);

  void ClearCache();

  // The owning-list side: plugins in load order.
  std::size_t Count() const { return plugins_.size(); }
  TSppPlugin& operator[](std::size_t i) { return *plugins_[i]; }
  const TSppPlugin& operator[](std::size_t i) const { return *plugins_[i]; }
  void Add(std::unique_ptr<TSppPlugin> plugin) { plugins_.push_back(std::move(plugin)); }
  // Unloads and frees every plugin; a refused release raises ESppException
  // once all are gone.
  void Clear();

  const std::list<std::unique_ptr<TSppImage>>& ImageCache() const { return imageCache_; }

 private:
  IProgressWindowFactory& windows_;
  IMessageBoxes& boxes_;
  std::vector<std::unique_ptr<TSppPlugin>> plugins_;
  std::list<std::unique_ptr<TSppImage>> imageCache_;
};

}  // namespace hollowmere
