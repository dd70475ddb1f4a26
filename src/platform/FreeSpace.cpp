// statvfs figures and the free-space rule.
#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

#include <algorithm>

#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

class TSystemDiskSpace : public IDiskSpace {
 public:
  std::optional<TDiskSpace> SpaceOf(const std::string& folder) override {
    struct statvfs st {};
    const std::string native = NativePath(folder.empty() ? std::string(".") : folder);
    if (::statvfs(native.c_str(), &st) != 0 || st.f_blocks == 0) return std::nullopt;
    const uint64_t unit = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
    return TDiskSpace{uint64_t{st.f_blocks} * unit, uint64_t{st.f_bavail} * unit, unit};
  }
};

}  // namespace

IDiskSpace& SystemDiskSpace() {
  static TSystemDiskSpace space;
  return space;
}

uint64_t KeptFree(uint64_t total) {
  constexpr uint64_t kAtMost = uint64_t{1} << 30;
  return std::min(total / 20, kAtMost);
}

ENoSpaceError NoSpaceError(const std::string& folder, uint64_t needed) {
  static const std::string head = text::Sjis("フォルダ ");
  static const std::string middle = text::Sjis(" の空き容量が足りません (あと ");
  static const std::string tail = text::Sjis(" バイト必要です)");
  return ENoSpaceError(head + folder + middle + std::to_string(needed) + tail);
}

void EnsureRoomFor(IDiskSpace& space, const std::string& folder, uint64_t bytes) {
  const std::optional<TDiskSpace> figures = space.SpaceOf(folder);
  if (!figures) return;
  const uint64_t block = std::max<uint64_t>(1, figures->Block);
  const uint64_t wanted = (bytes + block - 1) / block * block + KeptFree(figures->Total);
  if (figures->Available < wanted) throw NoSpaceError(folder, wanted - figures->Available);
}

}  // namespace hollowmere
