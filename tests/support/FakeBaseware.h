// An in-memory baseware for the ghost tests: FMO blocks and their mutexes,
// and ghost windows that record every WM_COPYDATA they receive and answer
// it the way the test asks. Answers reach the sender's reply window on the
// main loop, as a real ghost's answer would. Thread-safe: the sender's
// worker and the test's main thread use it at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Baseware.h"
#include "platform/MainLoop.h"

namespace hollowmere::testing {

class FakeBaseware : public IFmoSource, public IWindowMessaging {
 public:
  explicit FakeBaseware(IMainLoop& loop) : loop_(loop) {}
  ~FakeBaseware() override;

  TBaseware Parts() { return {*this, *this}; }

  // A block's bytes: the 4-byte little-endian size field (the text's length
  // unless given), the text and a NUL.
  static std::string Block(const std::string& text, std::optional<std::int32_t> size = {});
  void SetBlock(const std::string& name, std::string bytes);
  void RemoveBlock(const std::string& name);
  // Bytes of blocks handed to readers so far.
  std::size_t BytesRead() const;

  // Another process takes or gives up the mutex.
  void HoldMutex(const std::string& name);
  void FreeMutex(const std::string& name);
  // OpenMutex finds no handle for these names.
  void RefuseMutex(const std::string& name);
  // What the reader did, in order: "open-mutex N", "wait N", "release N", "read N".
  std::vector<std::string> Events() const;

  enum class EAnswer { Ok, OkWithText, NoContent, Never };
  // A ghost window (or a new answer for one); it answers every request to
  // the request's sender window.
  void AddGhostWindow(TWindowHandle handle, EAnswer answer = EAnswer::Ok);
  // What the window received, oldest first.
  std::vector<TCopyData> Received(TWindowHandle handle) const;
  std::size_t ReceivedCount(TWindowHandle handle) const;
  // While held, sends wait (a delivery in flight) until freed, timed out or stopped.
  void HoldSends();
  void FreeSends();
  bool SendWaiting() const;
  // From now on no window can be made (CreateWindow raises EWindowError).
  void RefuseWindows();
  // Posts a message to one of the program's windows, as another program would.
  void PostTo(TWindowHandle window, const TCopyData& message);

  // IFmoSource
  std::unique_ptr<INamedMutex> OpenMutex(const std::string& name) override;
  std::unique_ptr<IFmoBlock> OpenBlock(const std::string& name) override;
  // IWindowMessaging
  std::unique_ptr<ICopyDataWindow> CreateWindow(TCopyDataHandler handler) override;
  std::optional<std::uint32_t> SendCopyData(TWindowHandle target, const TCopyData& message,
                                            std::chrono::milliseconds timeout,
                                            std::stop_token stop = {}) override;

 private:
  class Mutex;
  class BlockView;
  class Window;
  struct MutexState {
    bool heldByOther = false;
    bool heldByReader = false;
  };
  struct Ghost {
    EAnswer answer = EAnswer::Ok;
    std::vector<TCopyData> received;
  };
  void Deliver(TWindowHandle window, const TCopyData& message);

  IMainLoop& loop_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::string> blocks_;
  std::map<std::string, MutexState> mutexes_;
  std::set<std::string> refused_;
  std::vector<std::string> events_;
  std::size_t bytesRead_ = 0;
  std::map<TWindowHandle, Ghost> ghosts_;
  std::map<TWindowHandle, TCopyDataHandler> windows_;
  TWindowHandle nextWindow_ = 7001;
  bool sendsHeld_ = false;
  bool windowsRefused_ = false;
  bool sendWaiting_ = false;
};

}  // namespace hollowmere::testing
