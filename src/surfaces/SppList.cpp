// Plugin loading with its status window and failure boxes, and the
// most-recently-used picture cache in front of the plugins.
#include "surfaces/SppList.h"

#include <exception>

#include "platform/DebugTrace.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {

TSppList::TSppList(bool ownsObjects, IProgressWindowFactory& windows, IMessageBoxes& boxes)
    : windows_(windows), boxes_(boxes) {
  if (!ownsObjects) throw Error("TSppList.OwnsObject must be set to true");
}

TSppList::~TSppList() {
  ClearCache();
  plugins_.clear();  // each plugin unloads itself quietly
}

void TSppList::Clear() {
  std::exception_ptr firstFailure;
  auto plugins = std::move(plugins_);
  plugins_.clear();
  for (auto& plugin : plugins) {
    try {
      plugin->Release();
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
    plugin.reset();
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

void TSppList::ClearCache() { imageCache_.clear(); }

void TSppList::LoadFolder(const std::string& folder) {
  std::exception_ptr releaseFailure;
  try {
    Clear();
  } catch (...) {
    releaseFailure = std::current_exception();
  }
  ClearCache();
  if (releaseFailure) std::rethrow_exception(releaseFailure);

  static const std::string statusHead = text::Sjis("プラグイン");
  static const std::string statusTail = text::Sjis("を読み込み中...");
  static const std::string failureHead = text::Sjis("SPPプラグインロード失敗:") + "\r\n";

  std::unique_ptr<IProgressWindow> window = windows_.Create();
  window->Show();
  try {
    // No folder chosen yet: nothing to load (rather than the root folder).
    const std::vector<std::string> names =
        folder.empty() ? std::vector<std::string>() : ListFiles(folder, ".so");
    const std::string base = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : names) {
      window->ShowStatus(statusHead + name + statusTail);
      try {
        plugins_.push_back(std::make_unique<TSppPlugin>(base + name));
      } catch (const ESppException& e) {
        boxes_.ShowMessage(failureHead + e.what());
      }
    }
  } catch (...) {
    window->Close();
    throw;
  }
  window->Close();
}

bool TSppList::GetSurface(const std::string& ghostName, int32_t surfaceId, Bitmap& target) {
  constexpr uint8_t selector = 0;
  for (auto it = imageCache_.begin(); it != imageCache_.end(); ++it) {
    if ((*it)->Matches(ghostName, surfaceId, selector)) {
      DebugTrace("Cache Used: " + ghostName + std::to_string(surfaceId));
      target = (*it)->Bitmap;
      imageCache_.splice(imageCache_.begin(), imageCache_, it);
      return true;
    }
  }

  std::unique_ptr<TSppImage> entry;
  for (auto& plugin : plugins_) {
    entry = plugin->GetImage(ghostName, surfaceId, selector);
    if (entry) break;
  }
  const bool found = entry != nullptr;
  if (found) {
    target = entry->Bitmap;
  } else {
    entry = std::make_unique<TSppImage>(Bitmap(), std::to_string(surfaceId) + ",*", ghostName);
  }
  imageCache_.push_front(std::move(entry));
  while (imageCache_.size() > kImageCacheLimit) imageCache_.pop_back();
  return found;
}

}  // namespace hollowmere
