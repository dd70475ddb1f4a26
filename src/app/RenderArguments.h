// The command line of hollowmere-render: its options, their defaults and the
// usage text. Arguments arrive as UTF-8 and stay so here; the run converts
// what goes into the pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/Error.h"

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
  std::string PatternsDir;  // empty: the program folder
  std::string Locale;       // empty: the user's locale
  std::string LogFile;
  std::string OutDir;
  bool Help = false;
};

// `args` without the program name. Throws ERenderUsage.
RenderCommandOptions ParseRenderArguments(const std::vector<std::string>& args);

std::string RenderUsageText();

}  // namespace hollowmere
