// Hands a URL to the desktop's default handler (xdg-open on a free desktop).
// Open returns at once, never waits for the browser or mail program; a
// waiter thread of its own reaps the handler, so no child is left behind,
// and reports a handler that could not open the URL (none installed for it,
// or none at all).
// Invariant: the failure handler is never called once it has been replaced
// or the shell is gone.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Ui.h"

namespace hollowmere {

class TDesktopShell : public IShell {
 public:
  // Any thread: the CP932 URL the desktop could not open.
  using FailureHandler = std::function<void(const std::string& url)>;

  // `opener`: the program that receives the URL as its only argument,
  // looked up in PATH when it has no "/".
  explicit TDesktopShell(std::string opener = "xdg-open");
  ~TDesktopShell() override;
  TDesktopShell(const TDesktopShell&) = delete;
  TDesktopShell& operator=(const TDesktopShell&) = delete;

  // `url` is CP932; the handler receives it as UTF-8. Every verb means the
  // handler's default action. A handler that cannot be started or that ends
  // with a failure status goes to the failure handler.
  void Open(const std::string& url, const std::string& verb) override;

  void SetOnFailure(FailureHandler handler);

 private:
  struct Shared;
  std::string opener_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace hollowmere
