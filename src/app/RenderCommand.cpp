// The command-line renderer. Paths are kept twice: the UTF-8 form the user
// typed (for opening and creating files on this system) and its CP932 form
// (for the pages, which are Shift_JIS, so a browser decodes the bytes back to
// the same Unicode path). Nothing is written before the log has parsed.
#include "app/RenderCommand.h"

#include <filesystem>
#include <memory>

#include "app/ConsoleProgressBar.h"
#include "app/ConsoleUi.h"
#include "app/Settings.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Visible.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

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

bool IsFolder(const std::string& nativePath) {
  std::error_code ec;
  return !nativePath.empty() && fs::is_directory(nativePath, ec);
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// Surface -1 points to this picture in the cache folder; a picture of the
// user's own there stays.
void PlaceBlankSurface(const fs::path& cacheDir) {
  const std::string source = ShippedBlankSurface(CurrentProgramFolderPlaces());
  if (source.empty()) return;
  std::error_code ec;
  fs::copy_file(source, cacheDir / fs::path(source).filename(), fs::copy_options::skip_existing, ec);
}

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

  TConsoleMessageBoxes boxes(err, "hollowmere-render");
  SilentProgressWindows windows;
  TSppList plugins(true, windows, boxes);
  if (!options.PluginsDir.empty()) {
    const fs::path pluginsDir = AbsoluteFolder(options.PluginsDir);
    if (!fs::is_directory(pluginsDir)) {
      err << "hollowmere-render: plugin folder not found: " << pluginsDir.string() << '\n';
      return 1;
    }
    plugins.LoadFolder(ForPages(pluginsDir.string(), "plugin folder path") + "/");
  } else {
    // Without a word the pages would show every picture broken: the
    // window's choice, else the shipped plugins, and the user is told which.
    const TRenderPlugins chosen = DefaultRenderPlugins(
        ExistingProgramFolder(CurrentProgramFolderPlaces()), NativePath(DefaultPluginFolder()));
    err << "hollowmere-render: " << chosen.Note << '\n';
    if (!chosen.Folder.empty()) plugins.LoadFolder(ProgramPath(chosen.Folder));
  }

  // The folders are made once the log is accepted: a file that is no log
  // leaves nothing behind.
  const auto makeFolders = [&] {
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) throw FileCreateError(outDirCp932);
    fs::create_directories(cacheDir, ec);
    if (!fs::is_directory(cacheDir)) throw FileCreateError(cacheDirCp932);
    PlaceBlankSurface(cacheDir);
  };

  TConsoleProgressBar bar(err, terminal);
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

TRenderPlugins DefaultRenderPlugins(const std::string& programFolder, const std::string& installedFolder) {
  const std::string settingsFile = programFolder + "Hollowmere.ini";
  std::string chosen;
  try {
    const TIniFile ini(SettingsFilePath(ProgramPath(programFolder)));
    chosen = WithSlash(NativePath(ini.ReadString("General", "SppDir", "")));
  } catch (const std::exception&) {
    // A settings file that cannot be read names no folder.
  }
  if (IsFolder(chosen)) return {chosen, "surface pictures from " + chosen + " (the window's plugin folder in " + settingsFile + ")"};
  if (IsFolder(installedFolder)) {
    return {WithSlash(installedFolder), "surface pictures from " + WithSlash(installedFolder) + " (the installed plugins)"};
  }
  return {std::string(), "no plugin folder (no --plugins, none named in " + settingsFile +
                             ", no installed plugins): the pages show no surface pictures"};
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
    // Errors may quote plugin names and file contents: their control bytes show.
    err << "hollowmere-render: " << text::Cp932ToUtf8Lossy(text::VisibleControls(e.what(), text::LineBreaks::Keep))
        << '\n';
    return 1;
  }
}

}  // namespace hollowmere
