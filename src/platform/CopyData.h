// Window messages between programs of one desktop, reduced to what ghost
// playback needs: windows that receive WM_COPYDATA data blocks, and a send
// of such a block to a window by its handle that waits for the answer. The
// Linux side is TSocketWindows (one Unix-domain socket per window); tests
// use an in-memory baseware.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "text/Error.h"

namespace hollowmere {

// A window handle: positive for a window, 0 for none.
using TWindowHandle = std::int32_t;

// One WM_COPYDATA message: the sender's window (wParam), then the data block.
struct TCopyData {
  std::uint32_t Sender = 0;
  std::uint32_t DwData = 0;
  std::string Bytes;  // cbData bytes
};

// Handles one message on the main thread and returns the message's result.
using TCopyDataHandler = std::function<std::uint32_t(const TCopyData&)>;

// A window of ours; it is gone (no longer reachable) when destroyed.
class ICopyDataWindow {
 public:
  virtual ~ICopyDataWindow() = default;
  virtual TWindowHandle Handle() const = 0;
};

// A window that could not be made.
class EWindowError : public Error {
 public:
  using Error::Error;
};

class IWindowMessaging {
 public:
  virtual ~IWindowMessaging() = default;
  // Main thread. Makes a hidden window whose messages `handler` receives on
  // the main thread; its handle clashes with no live window. The handler
  // must not destroy the window. Raises EWindowError.
  virtual std::unique_ptr<ICopyDataWindow> CreateWindow(TCopyDataHandler handler) = 0;
  // Worker thread. Sends `message` to the window `target` and waits for its
  // result: nullopt when the window does not exist or does not respond (at
  // once), has not answered within `timeout`, or `stop` is requested first
  // (at once: a program that ends never waits on a ghost).
  virtual std::optional<std::uint32_t> SendCopyData(TWindowHandle target, const TCopyData& message,
                                                    std::chrono::milliseconds timeout,
                                                    std::stop_token stop = {}) = 0;
};

}  // namespace hollowmere
