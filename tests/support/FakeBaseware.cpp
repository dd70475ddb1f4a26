// The in-memory baseware. Mutexes wait on a condition variable; answers and
// posted messages go through the main loop to the window's handler, looked up
// when they arrive, so a window that has gone receives nothing.
#include "support/FakeBaseware.h"

#include <algorithm>
#include <cstring>

namespace hollowmere::testing {

class FakeBaseware::Mutex : public INamedMutex {
 public:
  Mutex(FakeBaseware& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
  bool Wait(std::chrono::milliseconds timeout, std::stop_token stop) override {
    // Before the lock: a stop already requested runs the callback at once.
    const std::stop_callback wake(stop, [this] {
      std::lock_guard stopLock(owner_.mutex_);
      owner_.changed_.notify_all();
    });
    std::unique_lock lock(owner_.mutex_);
    owner_.events_.push_back("wait " + name_);
    MutexState& state = owner_.mutexes_[name_];
    if (!owner_.changed_.wait_for(lock, timeout, [&] { return !state.heldByOther || stop.stop_requested(); }) ||
        stop.stop_requested()) {
      return false;
    }
    state.heldByReader = true;
    return true;
  }
  void Release() override {
    std::lock_guard lock(owner_.mutex_);
    owner_.events_.push_back("release " + name_);
    owner_.mutexes_[name_].heldByReader = false;
  }

 private:
  FakeBaseware& owner_;
  std::string name_;
};

class FakeBaseware::BlockView : public IFmoBlock {
 public:
  BlockView(FakeBaseware& owner, std::string bytes) : owner_(owner), bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t Read(std::uint64_t offset, char* out, std::size_t length) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(length, bytes_.size() - offset);
    std::memcpy(out, bytes_.data() + offset, n);
    std::lock_guard lock(owner_.mutex_);
    owner_.bytesRead_ += n;
    return n;
  }

 private:
  FakeBaseware& owner_;
  std::string bytes_;
};

class FakeBaseware::Window : public ICopyDataWindow {
 public:
  Window(FakeBaseware& owner, TWindowHandle handle) : owner_(owner), handle_(handle) {}
  ~Window() override {
    std::lock_guard lock(owner_.mutex_);
    owner_.windows_.erase(handle_);
  }
  TWindowHandle Handle() const override { return handle_; }

 private:
  FakeBaseware& owner_;
  TWindowHandle handle_;
};

FakeBaseware::~FakeBaseware() = default;

std::string FakeBaseware::Block(const std::string& text, std::optional<std::int32_t> size) {
  const auto field = static_cast<std::uint32_t>(size.value_or(static_cast<std::int32_t>(text.size())));
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((field >> (8 * i)) & 0xFF);
  return bytes + text + '\0';
}

void FakeBaseware::SetBlock(const std::string& name, std::string bytes) {
  std::lock_guard lock(mutex_);
  blocks_[name] = std::move(bytes);
}

void FakeBaseware::RemoveBlock(const std::string& name) {
  std::lock_guard lock(mutex_);
  blocks_.erase(name);
}

std::size_t FakeBaseware::BytesRead() const {
  std::lock_guard lock(mutex_);
  return bytesRead_;
}

void FakeBaseware::HoldMutex(const std::string& name) {
  std::lock_guard lock(mutex_);
  mutexes_[name].heldByOther = true;
}

void FakeBaseware::FreeMutex(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    mutexes_[name].heldByOther = false;
  }
  changed_.notify_all();
}

void FakeBaseware::RefuseMutex(const std::string& name) {
  std::lock_guard lock(mutex_);
  refused_.insert(name);
}

std::vector<std::string> FakeBaseware::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::unique_ptr<INamedMutex> FakeBaseware::OpenMutex(const std::string& name) {
  std::lock_guard lock(mutex_);
  events_.push_back("open-mutex " + name);
  if (refused_.count(name) != 0) return nullptr;
  return std::make_unique<Mutex>(*this, name);
}

std::unique_ptr<IFmoBlock> FakeBaseware::OpenBlock(const std::string& name) {
  std::lock_guard lock(mutex_);
  events_.push_back("read " + name);
  const auto found = blocks_.find(name);
  if (found == blocks_.end()) return nullptr;
  return std::make_unique<BlockView>(*this, found->second);
}

void FakeBaseware::AddGhostWindow(TWindowHandle handle, EAnswer answer) {
  std::lock_guard lock(mutex_);
  ghosts_[handle].answer = answer;
}

std::vector<TCopyData> FakeBaseware::Received(TWindowHandle handle) const {
  std::lock_guard lock(mutex_);
  const auto found = ghosts_.find(handle);
  return found == ghosts_.end() ? std::vector<TCopyData>{} : found->second.received;
}

std::size_t FakeBaseware::ReceivedCount(TWindowHandle handle) const {
  return Received(handle).size();
}

void FakeBaseware::HoldSends() {
  std::lock_guard lock(mutex_);
  sendsHeld_ = true;
}

void FakeBaseware::FreeSends() {
  {
    std::lock_guard lock(mutex_);
    sendsHeld_ = false;
  }
  changed_.notify_all();
}

bool FakeBaseware::SendWaiting() const {
  std::lock_guard lock(mutex_);
  return sendWaiting_;
}

void FakeBaseware::RefuseWindows() {
  std::lock_guard lock(mutex_);
  windowsRefused_ = true;
}

std::unique_ptr<ICopyDataWindow> FakeBaseware::CreateWindow(TCopyDataHandler handler) {
  std::lock_guard lock(mutex_);
  if (windowsRefused_) throw EWindowError("no window");
  const TWindowHandle handle = nextWindow_++;
  windows_[handle] = std::move(handler);
  return std::make_unique<Window>(*this, handle);
}

std::optional<std::uint32_t> FakeBaseware::SendCopyData(TWindowHandle target,
                                                        const TCopyData& message,
                                                        std::chrono::milliseconds timeout,
                                                        std::stop_token stop) {
  // Before the lock: a stop already requested runs the callback at once.
  const std::stop_callback wake(stop, [this] {
    std::lock_guard stopLock(mutex_);
    changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  const auto found = ghosts_.find(target);
  if (found == ghosts_.end()) return std::nullopt;
  found->second.received.push_back(message);
  const EAnswer answer = found->second.answer;
  sendWaiting_ = true;
  const bool answered =
      changed_.wait_for(lock, timeout, [&] { return !sendsHeld_ || stop.stop_requested(); }) &&
      !stop.stop_requested();
  sendWaiting_ = false;
  if (!answered) return std::nullopt;
  lock.unlock();
  TCopyData reply;
  reply.Sender = static_cast<std::uint32_t>(target);
  switch (answer) {
    case EAnswer::Ok:
      reply.Bytes = "SSTP/1.4 200 OK\r\n\r\n";
      break;
    case EAnswer::OkWithText:
      reply.Bytes = std::string("SSTP/1.4 200 OK\r\nX-Note: more\r\n\r\n\0tail", 38);
      break;
    case EAnswer::NoContent:
      reply.Bytes = "SSTP/1.4 204 No Content\r\n\r\n";
      break;
    case EAnswer::Never:
      return 1;
  }
  PostTo(static_cast<TWindowHandle>(message.Sender), reply);
  return 1;
}

void FakeBaseware::PostTo(TWindowHandle window, const TCopyData& message) {
  loop_.Post([this, window, message] { Deliver(window, message); });
}

void FakeBaseware::Deliver(TWindowHandle window, const TCopyData& message) {
  TCopyDataHandler handler;
  {
    std::lock_guard lock(mutex_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) return;
    handler = found->second;
  }
  handler(message);
}

}  // namespace hollowmere::testing
