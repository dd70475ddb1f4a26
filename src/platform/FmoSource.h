// Where running ghosts are published: named blocks of bytes (the FMO) and
// named mutexes that guard them, as the ghost seeker sees them. The Linux
// side is TFmoFiles (files and flock in one folder); tests use an in-memory
// baseware. Names are CP932 bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

namespace hollowmere {

// A mutex shared with the baseware. Opened once and kept; not owned after
// construction.
class INamedMutex {
 public:
  virtual ~INamedMutex() = default;
  // Waits at most `timeout` to own the mutex. False only on a time-out or
  // once `stop` is requested; any other outcome (the holder died, the wait
  // failed) counts as owning.
  virtual bool Wait(std::chrono::milliseconds timeout, std::stop_token stop = {}) = 0;
  virtual void Release() = 0;
};

// One block, open for reading only. Reads never go past its end.
class IFmoBlock {
 public:
  virtual ~IFmoBlock() = default;
  // The block's length in bytes, as it was when opened.
  virtual std::uint64_t Size() const = 0;
  // Copies up to `length` bytes from `offset` into `out`; the count copied
  // (0 at or past the end, or when the block cannot be read).
  virtual std::size_t Read(std::uint64_t offset, char* out, std::size_t length) = 0;
};

class IFmoSource {
 public:
  virtual ~IFmoSource() = default;
  // Creates or opens the mutex of that name; nullptr when no handle can be had.
  virtual std::unique_ptr<INamedMutex> OpenMutex(const std::string& name) = 0;
  // Opens the block of that name; nullptr when there is no such block.
  virtual std::unique_ptr<IFmoBlock> OpenBlock(const std::string& name) = 0;
};

}  // namespace hollowmere
