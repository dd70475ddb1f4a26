// One writer at a time in a folder, among processes and threads alike: the
// holder keeps an exclusive flock on a lock file in that folder and removes
// the file when it lets go. A waiter that gets the lock on a file already
// removed opens the file anew, so two holders never overlap however the
// removal and the waits interleave.
#pragma once

#include <chrono>
#include <string>

#include "text/Error.h"

namespace hollowmere {

// Another writer holds the folder: "フォルダ %s は別のプロセスが書き込み中です".
class EFolderBusyError : public Error {
 public:
  using Error::Error;
};

class TFolderLock {
 public:
  // Locks with the file `lockPath` (CP932; made when missing), waiting at
  // most `wait` for another holder to let go; then raises EFolderBusyError
  // naming the folder. Raises EFCreateError when the lock file cannot be
  // made or opened (a missing folder, a symbolic link in its place).
  TFolderLock(const std::string& lockPath, std::chrono::milliseconds wait);
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

 private:
  std::string native_;
  int fd_ = -1;
};

}  // namespace hollowmere
