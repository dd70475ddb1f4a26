// The FMO on Linux: the block NAME is the read-only file <folder>/NAME and
// the mutex NAME is an exclusive flock on <folder>/NAME.lock (created 0600
// when missing). A folder that fails the trust check (FmoFolder.h) holds no
// blocks. Used by the sender's worker thread only.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/FmoFolder.h"
#include "platform/FmoSource.h"

namespace hollowmere {

class TFmoFiles : public IFmoSource {
 public:
  // `folder`: a file-system path; `lockPoll`: how often a held lock is tried again.
  explicit TFmoFiles(std::string folder = FmoFolderPath(),
                     std::chrono::milliseconds lockPoll = std::chrono::milliseconds(5));

  // A folder that is missing is made (0700) so the lock file can be; one that
  // cannot be made, or a lock file that cannot be opened or created, gives
  // no handle. In a refused folder the mutex guards nothing (there are no
  // blocks to guard) until the folder can be trusted.
  std::unique_ptr<INamedMutex> OpenMutex(const std::string& name) override;
  // Only a regular file directly in a trusted folder is a block; it is read
  // with pread and never mapped, so a writer that cuts it short cannot fault
  // the reader.
  std::unique_ptr<IFmoBlock> OpenBlock(const std::string& name) override;

  const std::string& Folder() const { return folder_; }

 private:
  // Opens the folder, tracing a refusal once until the folder's state changes.
  TTrustedFolder Open(bool create);

  std::string folder_;
  std::chrono::milliseconds lockPoll_;
  std::string lastRefusal_;
};

}  // namespace hollowmere
