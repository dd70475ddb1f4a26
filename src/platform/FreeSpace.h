// How much room a file system has left, and the share of it a writer keeps
// free so that one long run cannot fill the disk under everything else on
// the machine. The system's figures come through IDiskSpace, so a test can
// stand in for the disk.
// Invariant: EnsureRoomFor never lets a write of the given size leave less
// than KeptFree(total) available; when the system cannot tell, nothing is
// refused (the write itself then reports what goes wrong).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/Error.h"

namespace hollowmere {

struct TDiskSpace {
  uint64_t Total = 0;      // bytes of the whole file system
  uint64_t Available = 0;  // bytes an ordinary process may still write
  uint64_t Block = 1;      // a file takes whole blocks of this size
};

class IDiskSpace {
 public:
  virtual ~IDiskSpace() = default;
  // The figures of the file system holding `folder` (CP932); nullopt when
  // the system cannot tell.
  virtual std::optional<TDiskSpace> SpaceOf(const std::string& folder) = 0;
};

// The system's own figures (statvfs).
IDiskSpace& SystemDiskSpace();

// What is kept free on a file system of `total` bytes: 5% of it, at most 1 GB.
uint64_t KeptFree(uint64_t total);

// Not enough room left: "フォルダ %s の空き容量が足りません (あと %d バイト必要です)".
class ENoSpaceError : public Error {
 public:
  using Error::Error;
};

ENoSpaceError NoSpaceError(const std::string& folder, uint64_t needed);

// Raises ENoSpaceError, naming `folder` and the bytes still missing, when
// a file of `bytes` (counted in whole blocks) would leave less than
// KeptFree available.
void EnsureRoomFor(IDiskSpace& space, const std::string& folder, uint64_t bytes);

}  // namespace hollowmere
