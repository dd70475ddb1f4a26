// Environment for the embedded web engine.
#include "app/qt/QtEnvironment.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace hollowmere::qt {

void PrepareWebEngineEnvironment() {
  if (geteuid() == 0) {
    const char* current = std::getenv("QTWEBENGINE_DISABLE_SANDBOX");
    if (current == nullptr || std::string(current) != "1") {
      setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
      std::fputs("hollowmere: running as root, so the web engine's sandbox is turned off\n", stderr);
    }
  }
  std::string flags;
  if (const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")) flags = given;
  const std::string offline = "--disable-background-networking --disable-component-update";
  if (flags.find(offline) == std::string::npos) {
    flags = flags.empty() ? offline : flags + " " + offline;
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
  }
}

}  // namespace hollowmere::qt
