// Hands a URL to the desktop's default handler (xdg-open on a free desktop).
// The handler runs detached: Open returns at once, never waits for the
// browser or mail program, and leaves no child process behind to reap.
#pragma once

#include <string>

#include "platform/Ui.h"

namespace hollowmere {

class TDesktopShell : public IShell {
 public:
  // `opener`: the program that receives the URL as its only argument,
  // looked up in PATH when it has no "/".
  explicit TDesktopShell(std::string opener = "xdg-open");

  // `url` is CP932; the handler receives it as UTF-8. Every verb means the
  // handler's default action. A handler that cannot be started is ignored,
  // as the desktop would ignore a URL it has no handler for.
  void Open(const std::string& url, const std::string& verb) override;

 private:
  std::string opener_;
};

}  // namespace hollowmere
