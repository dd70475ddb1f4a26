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
// when the window goes. The hwnd folder is trusted by the folder's own rule,
// and a send goes only to a socket file, never through a symbolic link.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/CopyData.h"
#include "platform/FmoFolder.h"
#include "platform/MainLoop.h"

namespace hollowmere {

inline constexpr std::size_t kCopyDataHeaderBytes = 12;
inline constexpr std::uint32_t kMaxCopyDataBytes = 1024 * 1024;
inline constexpr std::size_t kMaxPendingFrames = 16;

// The frame of one WM_COPYDATA message.
std::string EncodeCopyDataFrame(const TCopyData& message);

// The receiving end of one frame. Bytes arrive in pieces of any size; the
// reader says how many more it wants, so nothing after the frame is read,
// and a header announcing more than kMaxCopyDataBytes refuses the frame
// before any of its body.
class TCopyDataFrameReader {
 public:
  enum class EState { Reading, Whole, Refused };

  // Bytes still wanted: the rest of the header, then of the body; 0 once the
  // frame is whole or refused.
  std::size_t Wanted() const;
  // Takes the first bytes, at most Wanted() of them; the count taken.
  std::size_t Take(const char* data, std::size_t length);
  EState State() const { return state_; }
  // The message, once the frame is whole; the reader keeps no copy.
  TCopyData TakeMessage() { return std::move(message_); }

 private:
  std::string header_;
  std::uint32_t size_ = 0;
  TCopyData message_;
  EState state_ = EState::Reading;
};

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
  // the folder is not trusted; gives up the moment `stop` is requested.
  std::optional<std::uint32_t> SendCopyData(TWindowHandle target, const TCopyData& message,
                                            std::chrono::milliseconds timeout,
                                            std::stop_token stop = {}) override;

  const std::string& Folder() const { return folder_; }
  std::string WindowPath(TWindowHandle handle) const;

 private:
  IMainLoop& loop_;
  std::string folder_;
};

}  // namespace hollowmere
