// Windows and WM_COPYDATA on Linux: the window N is a listening Unix-domain
// stream socket at <folder>/hwnd/N. A send connects and writes one frame, the
// sender's handle (wParam), dwData and cbData as 32-bit little-endian
// unsigned integers, then the cbData bytes; the receiver answers with the
// 32-bit little-endian result and the connection ends.
//
// Invariants: a window's socket is served on the main thread by the main
// loop and never blocks it: frames are read piece by piece as they arrive;
// a frame announcing more than kMaxCopyDataBytes is dropped unread, and a
// frame's buffer grows only with the bytes that came; at most
// kMaxPendingFrames connections are read at a time (a further one pushes
// out one that has sent nothing, else the one idle longest). A window's socket file is removed
// when the window goes.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/CopyData.h"
#include "platform/FmoFolder.h"
#include "platform/MainLoop.h"

namespace hollowmere {

inline constexpr std::size_t kCopyDataHeaderBytes = 12;
inline constexpr std::uint32_t kMaxCopyDataBytes = 1024 * 1024;
inline constexpr std::size_t kMaxPendingFrames = 16;

// The frame of one WM_COPYDATA message.
std::string EncodeCopyDataFrame(const TCopyData& message);

class TSocketWindows : public IWindowMessaging {
 public:
  // `folder`: a file-system path; windows live in its "hwnd" subfolder.
  explicit TSocketWindows(IMainLoop& loop, std::string folder = FmoFolderPath());

  // The handle is the process id where that is free, or the first free
  // number of pid + k * 2^22; a socket file that refuses connections is
  // a dead process's and is replaced. Missing folders are made (0700).
  std::unique_ptr<ICopyDataWindow> CreateWindow(TCopyDataHandler handler) override;
  // Fails at once when the socket is missing or refuses the connection
  // (also when its backlog is full: the window is not responding), or when
  // the folder is not trusted.
  std::optional<std::uint32_t> SendCopyData(TWindowHandle target, const TCopyData& message,
                                            std::chrono::milliseconds timeout) override;

  const std::string& Folder() const { return folder_; }
  std::string WindowPath(TWindowHandle handle) const;

 private:
  IMainLoop& loop_;
  std::string folder_;
};

}  // namespace hollowmere
