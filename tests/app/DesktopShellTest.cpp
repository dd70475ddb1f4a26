// The desktop shell hands a URL, as UTF-8 and untouched by any shell, to the
// URL handler and returns without waiting for it.
#include "platform/DesktopShell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <mutex>
#include <vector>
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

// A URL the desktop cannot open is reported, whether the handler is missing
// or ends with a failure (xdg-open's 3: no program for it); one that opens is not.
TEST(DesktopShell, AHandlerThatCannotOpenTheUrlIsReported) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string body;  // empty: no handler at all
    bool reported;
  };
  const Case cases[] = {{"opens", "exit 0", false},
                        {"no program for it", "exit 3", true},
                        {"killed", "kill -9 $$", true},
                        {"missing", "", true}};
  for (const Case& c : cases) {
    const std::string opener = dir.file(std::string("opener-") + c.name);
    if (!c.body.empty()) {
      std::ofstream(opener) << "#!/bin/sh\n" << c.body << "\n";
      chmod(opener.c_str(), 0755);
    }
    std::mutex mutex;
    std::vector<std::string> failed;
    TDesktopShell shell(opener);
    shell.SetOnFailure([&](const std::string& url) {
      std::lock_guard lock(mutex);
      failed.push_back(url);
    });
    EXPECT_NO_THROW(shell.Open(text::Sjis("http://例.jp/"), "open")) << c.name;
    // Long enough for the handler to end; the report comes from the reaper.
    for (int i = 0; i < 100; ++i) {
      {
        std::lock_guard lock(mutex);
        if (!failed.empty()) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(c.reported ? 50 : 5));
    }
    shell.SetOnFailure(nullptr);
    EXPECT_EQ(failed, c.reported ? std::vector<std::string>{text::Sjis("http://例.jp/")}
                                 : std::vector<std::string>{})
        << c.name;
  }
}

}  // namespace
}  // namespace hollowmere
