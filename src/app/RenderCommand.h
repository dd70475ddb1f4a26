// hollowmere-render: the command-line road to the pages. It renders a saved
// log exactly as the window's ShowLog does, into a folder of the user's
// choice, without a window. Arguments arrive as UTF-8; texts that go into
// pages are converted to CP932, while file-system calls keep the UTF-8 form.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Errors.h"

namespace hollowmere {

// A command line that cannot be run; the message is plain ASCII.
class ERenderUsage : public Error {
 public:
  using Error::Error;
};

struct RenderCommandOptions {
  int32_t PerPage = 100;
  bool Emulation = true;
  std::string FontUtf8 = "ＭＳ 明朝";
  std::string PluginsDir;   // empty: no plugins
  std::string CacheDir;     // empty: OUTDIR/cache/
  std::string PatternsDir;  // empty: the executable's folder
  std::string Locale;       // empty: the user's locale
  std::string LogFile;
  std::string OutDir;
  bool Help = false;
};

// `args` without the program name. Throws ERenderUsage.
RenderCommandOptions ParseRenderArguments(const std::vector<std::string>& args);

std::string RenderUsageText();

// Runs the command and returns the exit status: 0 when the pages are written,
// 1 when the log was rejected or rendering failed, 2 for a bad command line.
// `out` gets where the pages are; `err` every message (UTF-8). `terminal`
// turns on the progress bar on `err`.
int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     bool terminal);

}  // namespace hollowmere
