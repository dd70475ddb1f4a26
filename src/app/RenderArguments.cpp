// Reading hollowmere-render's command line: options with a separate or an
// inline ("--name=value") value, "--" ending the options, two positionals.
#include "app/RenderArguments.h"

#include <charconv>

#include "render/DateText.h"

namespace hollowmere {
namespace {

std::string TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                      const std::string* inlineValue) {
  if (inlineValue != nullptr) return *inlineValue;
  if (i + 1 >= args.size()) throw ERenderUsage("option " + name + " needs a value");
  return args[++i];
}

int32_t ParsePerPage(const std::string& value) {
  int32_t n = 0;
  const char* end = value.data() + value.size();
  const auto result = std::from_chars(value.data(), end, n);
  if (value.empty() || result.ec != std::errc() || result.ptr != end) {
    throw ERenderUsage("--per-page needs a whole number, not '" + value + "'");
  }
  if (n < 1) throw ERenderUsage("--per-page must be at least 1");
  return n;
}

}  // namespace

std::string RenderUsageText() {
  return "usage: hollowmere-render [--per-page N] [--mode emulation|left] [--font NAME]\n"
         "                         [--plugins DIR] [--cache DIR] [--patterns DIR] [--locale NAME]\n"
         "                         LOGFILE OUTDIR\n"
         "Renders a saved Voyla log into OUTDIR/long0.html, long1.html, ...\n";
}

RenderCommandOptions ParseRenderArguments(const std::vector<std::string>& args) {
  RenderCommandOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options.Help = true;
      continue;
    }
    std::string name = arg;
    std::string inlineValue;
    const bool hasInline = arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos;
    if (hasInline) {
      name = arg.substr(0, arg.find('='));
      inlineValue = arg.substr(arg.find('=') + 1);
    }
    const std::string* inl = hasInline ? &inlineValue : nullptr;
    if (name == "--per-page") {
      options.PerPage = ParsePerPage(TakeValue(args, i, name, inl));
    } else if (name == "--mode") {
      const std::string mode = TakeValue(args, i, name, inl);
      if (mode == "emulation") {
        options.Emulation = true;
      } else if (mode == "left") {
        options.Emulation = false;
      } else {
        throw ERenderUsage("--mode must be 'emulation' or 'left', not '" + mode + "'");
      }
    } else if (name == "--font") {
      options.FontUtf8 = TakeValue(args, i, name, inl);
    } else if (name == "--plugins") {
      options.PluginsDir = TakeValue(args, i, name, inl);
    } else if (name == "--cache") {
      options.CacheDir = TakeValue(args, i, name, inl);
    } else if (name == "--patterns") {
      options.PatternsDir = TakeValue(args, i, name, inl);
    } else if (name == "--locale") {
      options.Locale = TakeValue(args, i, name, inl);
      if (!options.Locale.empty() && !IsKnownLocale(options.Locale)) {
        throw ERenderUsage("--locale: ICU has no locale '" + options.Locale + "'");
      }
    } else {
      throw ERenderUsage("unknown option " + name);
    }
  }
  if (options.Help) return options;
  if (positional.size() != 2) {
    throw ERenderUsage(positional.size() < 2 ? "LOGFILE and OUTDIR are required"
                                             : "too many arguments: expected LOGFILE OUTDIR");
  }
  options.LogFile = positional[0];
  options.OutDir = positional[1];
  if (options.LogFile.empty() || options.OutDir.empty()) {
    throw ERenderUsage("LOGFILE and OUTDIR must not be empty");
  }
  return options;
}

}  // namespace hollowmere
