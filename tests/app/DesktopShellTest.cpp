// The desktop shell hands a URL, as UTF-8 and untouched by any shell, to the
// URL handler and returns without waiting for it.
#include "platform/DesktopShell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using testing::TempDir;

std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::ostringstream s;
      s << in.rdbuf();
      return s.str();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "<no file>";
}

TEST(DesktopShell, HandlerReceivesTheUrlAsOneUtf8Argument) {
  TempDir dir;
  const std::string opener = dir.file("opener.sh");
  {
    std::ofstream script(opener);
    script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" << dir.file("got.tmp") << "\"\n"
           << "mv \"" << dir.file("got.tmp") << "\" \"" << dir.file("got") << "\"\n";
  }
  chmod(opener.c_str(), 0755);

  TDesktopShell shell(opener);
  // Blanks, quotes and command substitutions reach the handler as text.
  const std::string url = text::Sjis("http://example.com/a b\"'$(touch ") + dir.file("pwned") +
                          text::Sjis(")`true`;ソ表");
  shell.Open(url, "");
  EXPECT_EQ(WaitForFile(dir.file("got")), "1|" + text::Cp932ToUtf8(url));
  std::ifstream pwned(dir.file("pwned"));
  EXPECT_FALSE(pwned.good());
}

TEST(DesktopShell, MissingHandlerIsIgnored) {
  TDesktopShell shell("/nonexistent/hollowmere-opener");
  EXPECT_NO_THROW(shell.Open("http://example.com/", "open"));
}

}  // namespace
}  // namespace hollowmere
