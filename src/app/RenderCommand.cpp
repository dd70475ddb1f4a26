// The command-line renderer. Paths are kept twice: the UTF-8 form the user
// typed (for opening and creating files on this system) and its CP932 form
// (for the pages, which are Shift_JIS, so a browser decodes the bytes back to
// the same Unicode path). Nothing is written before the log has parsed.
#include "app/RenderCommand.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <memory>

#include "platform/FileSystem.h"
#include "platform/ProgramFolder.h"
#include "regex/bmRegExp.h"
#include "render/DateText.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

// Logs smaller than this render in a blink; no bar for them.
constexpr std::size_t kProgressBarFrom = 2000;

class StderrMessageBoxes : public IMessageBoxes {
 public:
  explicit StderrMessageBoxes(std::ostream& err) : err_(err) {}
  void ShowMessage(const std::string& text) override { err_ << text::Cp932ToUtf8Lossy(text) << '\n'; }
  bool AskYesNo(const std::string& text) override {
    err_ << text::Cp932ToUtf8Lossy(text) << " (no)\n";
    return false;
  }
  void Beep() override {}

 private:
  std::ostream& err_;
};

// Plugin loading happens before any page; its status needs no window here.
class SilentProgressWindows : public IProgressWindowFactory {
  class Window : public IProgressWindow {
   public:
    void Show() override {}
    void ShowStatus(const std::string&) override {}
    void Close() override {}
  };

 public:
  std::unique_ptr<IProgressWindow> Create() override { return std::make_unique<Window>(); }
};

class RecordingView : public IHtmlView {
 public:
  void Navigate(const std::string& url) override { Url = url; }
  std::string Url;
};

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

// CP932 form of a UTF-8 text that goes into the pages.
std::string ForPages(const std::string& utf8, const std::string& what) {
  try {
    return text::Utf8ToCp932(utf8);
  } catch (const text::EEncodingError&) {
    throw Error(what + " has characters that Shift_JIS cannot hold");
  }
}

// The absolute, normalised form of a folder, without a trailing separator.
fs::path AbsoluteFolder(const std::string& folder) {
  fs::path p = fs::absolute(fs::path(folder)).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return fs::path(s);
}

std::vector<std::string> LoadPatterns(const fs::path& folder, const char* name) {
  const fs::path file = folder / name;
  if (!fs::is_regular_file(file)) {
    throw Error("pattern file not found: " + ProgramPath(file.string()));
  }
  return LoadPatternFile(ProgramPath(file.string()));
}

// The pattern files of the program folder the window would use (seeded
// there on first use when the program is installed).
fs::path DefaultPatternsFolder() { return fs::path(NativePath(ProgramFolder())); }

class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~ProgressBar() { Finish(); }
  void Update(std::size_t done, std::size_t total) {
    if (!enabled_ || total < kProgressBarFrom) return;
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(done * kWidth / total);
    err_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done << '/'
         << total << std::flush;
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) err_ << '\n' << std::flush;
    drawn_ = false;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
};

int Run(const RenderCommandOptions& options, std::ostream& out, std::ostream& err, bool terminal) {
  const fs::path outDir = AbsoluteFolder(options.OutDir);
  const fs::path cacheDir = options.CacheDir.empty() ? outDir / "cache" : AbsoluteFolder(options.CacheDir);
  const fs::path patternsDir =
      options.PatternsDir.empty() ? DefaultPatternsFolder() : AbsoluteFolder(options.PatternsDir);
  const fs::path logFile = fs::absolute(fs::path(options.LogFile));

  const std::string logFileCp932 = ForPages(logFile.string(), "log file path");
  const std::string outDirCp932 = ForPages(outDir.string(), "output folder path");
  const std::string cacheDirCp932 = ForPages(cacheDir.string(), "cache folder path") + "/";
  const std::string font = ForPages(options.FontUtf8, "font name");

  // Everything that can fail without writing comes first.
  const std::string logText = ReadWholeFile(logFileCp932);
  TSsParser parser;
  parser.SetTagPattern(LoadPatterns(patternsDir, "tagpat.txt"));
  parser.SetMetaPattern(LoadPatterns(patternsDir, "metapat.txt"));
  TAWKStr awk;
  awk.SetLineSeparator(mcls_CRLF);

  StderrMessageBoxes boxes(err);
  SilentProgressWindows windows;
  TSppList plugins(true, windows, boxes);
  if (!options.PluginsDir.empty()) {
    const fs::path pluginsDir = AbsoluteFolder(options.PluginsDir);
    if (!fs::is_directory(pluginsDir)) {
      err << "hollowmere-render: plugin folder not found: " << pluginsDir.string() << '\n';
      return 1;
    }
    plugins.LoadFolder(ForPages(pluginsDir.string(), "plugin folder path") + "/");
  }

  // The folders are made once the log is accepted: a file that is no log
  // leaves nothing behind.
  const auto makeFolders = [&] {
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) throw FileCreateError(outDirCp932);
    fs::create_directories(cacheDir, ec);
    if (!fs::is_directory(cacheDir)) throw FileCreateError(cacheDirCp932);
  };

  ProgressBar bar(err, terminal);
  std::size_t messages = 0;
  const ShowLogContext ctx{parser,
                           awk,
                           plugins,
                           cacheDirCp932,
                           outDirCp932 + "/long",
                           font,
                           options.PerPage,
                           options.Emulation,
                           options.Locale,
                           [&](std::size_t done, std::size_t total) {
                             messages = total;
                             bar.Update(done, total);
                           },
                           makeFolders};
  RecordingView view;
  const bool shown = ShowLog(logText, ctx, view);
  bar.Finish();
  if (!shown) {
    err << "hollowmere-render: " << logFile.string()
        << " is not a Voyla log (its first line is not \"Result: OK\"); nothing written\n";
    return 1;
  }
  const std::size_t pages = messages / static_cast<std::size_t>(options.PerPage) + 1;
  out << messages << (messages == 1 ? " message" : " messages") << " on " << pages
      << (pages == 1 ? " page" : " pages") << ", first page:\n"
      << text::Cp932ToUtf8Lossy(view.Url) << '\n';
  return 0;
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

int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     bool terminal) {
  RenderCommandOptions options;
  try {
    options = ParseRenderArguments(args);
  } catch (const ERenderUsage& e) {
    err << "hollowmere-render: " << e.what() << '\n' << RenderUsageText();
    return 2;
  }
  if (options.Help) {
    out << RenderUsageText();
    return 0;
  }
  try {
    return Run(options, out, err, terminal);
  } catch (const std::exception& e) {
    err << "hollowmere-render: " << text::Cp932ToUtf8Lossy(e.what()) << '\n';
    return 1;
  }
}

}  // namespace hollowmere
