// The archive command line. Parsing is complete before anything is opened,
// so a bad command line never creates or changes an archive.
#include "app/ArchiveCommand.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "app/ConsoleProgressBar.h"
#include "archive/LogArchiver.h"
#include "archive/SqliteArchive.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFolder.h"
#include "text/Encoding.h"
#include "text/Visible.h"

namespace hollowmere {
namespace {

constexpr const char* kProgram = "hollowmere-archive";
constexpr std::size_t kDefaultLimit = 100;

class EUsage : public Error {
 public:
  using Error::Error;
};

struct TArgs {
  std::string Command;
  std::vector<std::string> Words;             // files or query words
  std::map<std::string, std::string> Options;  // "--limit" -> "10"
  bool Help = false;
};

// Options that take a value, by subcommand ("" for every one).
bool TakesOption(const std::string& command, const std::string& opt) {
  if (opt == "--archive" || opt == "--patterns") return true;
  if (command == "search") return opt == "--limit" || opt == "--format";
  if (command == "export") return opt == "--since" || opt == "--until" || opt == "--ghost" || opt == "--channel";
  return false;
}

TArgs ParseArgs(const std::vector<std::string>& args) {
  TArgs a;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    if (s == "--help" || s == "-h") {
      a.Help = true;
      continue;
    }
    if (a.Command.empty() && s.rfind("--", 0) != 0) {
      a.Command = s;
      continue;
    }
    if (s.rfind("--", 0) == 0 && s.size() > 2) {
      std::string opt = s, value;
      const std::size_t eq = s.find('=');
      const bool inlineValue = eq != std::string::npos;
      if (inlineValue) {
        opt = s.substr(0, eq);
        value = s.substr(eq + 1);
      }
      if (!TakesOption(a.Command, opt)) throw EUsage("unknown option " + opt);
      if (!inlineValue) {
        if (i + 1 >= args.size()) throw EUsage(opt + " needs a value");
        value = args[++i];
      }
      a.Options[opt] = value;
      continue;
    }
    a.Words.push_back(s);
  }
  if (a.Help) return a;
  if (a.Command.empty()) throw EUsage("no command given");
  if (a.Command != "import" && a.Command != "search" && a.Command != "export" && a.Command != "stats" &&
      a.Command != "check") {
    throw EUsage("unknown command " + a.Command);
  }
  if (a.Command == "import" && a.Words.empty()) throw EUsage("import needs at least one log file");
  if (a.Command != "import" && a.Command != "search" && !a.Words.empty()) {
    throw EUsage(a.Command + " takes no argument " + a.Words.front());
  }
  return a;
}

std::string Opt(const TArgs& a, const char* name, std::string fallback = "") {
  const auto it = a.Options.find(name);
  return it == a.Options.end() ? fallback : it->second;
}

std::string Utf8(std::string_view cp932) { return text::Cp932ToUtf8Lossy(cp932); }

// Text from the service for a terminal: a message could hold escape
// sequences that clear the screen or set the title, so control bytes show.
std::string Shown(std::string_view cp932) {
  return text::Cp932ToUtf8Lossy(text::VisibleControls(cp932, text::LineBreaks::Show));
}

std::string ArchivePath(const TArgs& a) {
  const std::string given = Opt(a, "--archive");
  if (!given.empty()) return given;
  return DefaultArchivePath(NativePath(ProgramFolder()));
}

int64_t NowSeconds() { return WallSeconds(TSystemClock().Now()); }

// The tokenizer's pattern files: --patterns DIR, else the program folder's.
TVisibleText PatternsVisibleText(const TArgs& a) {
  std::string folder = Opt(a, "--patterns");
  if (folder.empty()) return TVisibleText::FromFolder(NativePath(ProgramFolder()));
  if (folder.back() != '/') folder += '/';
  return TVisibleText::FromFolder(folder);
}

int Import(const TArgs& a, IArchiveStore& store, TVisibleText& visible, std::ostream& out, std::ostream& err,
           bool terminal) {
  int status = 0;
  for (const std::string& file : a.Words) {
    std::string logText;
    std::unique_ptr<TLogEntries> entries;
    try {
      logText = ReadWholeFile(ProgramPath(file));
      entries = std::make_unique<TLogEntries>(logText, visible);
    } catch (const std::exception& e) {
      err << kProgram << ": " << file << ": " << Utf8(e.what()) << '\n';
      status = 1;
      continue;
    }
    if (!entries->IsLog()) {
      err << kProgram << ": " << file << " is not a Voyla log (its first line is not \"Result: OK\")\n";
      status = 1;
      continue;
    }
    TConsoleProgressBar bar(err, terminal);
    const TMergeCounts c =
        store.Merge(*entries, NowSeconds(), [&](std::size_t done, std::size_t total) { bar.Update(done, total); });
    bar.Finish();
    out << file << ": " << c.New << " new, " << c.Changed << " changed, " << c.Unchanged << " unchanged\n";
  }
  return status;
}

std::size_t SearchLimit(const TArgs& a) {
  const std::string text = Opt(a, "--limit", std::to_string(kDefaultLimit));
  char* end = nullptr;
  const long long limit = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || limit < 0) throw EUsage("--limit wants a number, not " + text);
  return static_cast<std::size_t>(limit);
}

std::string SearchFormat(const TArgs& a) {
  const std::string format = Opt(a, "--format", "text");
  if (format != "text" && format != "log" && format != "json") {
    throw EUsage("--format is text, log or json, not " + format);
  }
  return format;
}

int Search(const TArgs& a, IArchiveStore& store, TVisibleText& visible, std::ostream& out, std::ostream& err) {
  std::string queryText;
  for (const auto& w : a.Words) queryText += (queryText.empty() ? "" : " ") + w;
  const std::size_t limit = SearchLimit(a);
  const std::string format = SearchFormat(a);
  TSearchQuery query;
  try {
    query = ParseSearchQuery(queryText);
  } catch (const ESearchQueryError& e) {
    err << kProgram << ": " << e.what() << '\n';
    return 1;
  }
  const std::vector<TArchiveHit> hits = store.Search(query, limit);
  if (format == "log") {
    std::vector<TArchiveLine> lines;
    for (const auto& h : hits) lines.push_back(h.Line);
    out << ArchiveLogText(lines, "Hollowmere archive search");
  } else if (format == "json") {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& h : hits) {
      list.push_back({{"mid", Utf8(h.Line.Mid)},
                      {"posted", StampIso(h.Line.Stamp)},
                      {"stamp", Utf8(h.Line.Stamp)},
                      {"ghost", Utf8(h.Line.Ghost)},
                      {"channel", Utf8(h.Line.Channel)},
                      {"connection", Utf8(h.Line.Connection)},
                      {"vote", Utf8(h.Line.Vote)},
                      {"agree", Utf8(h.Line.Agree)},
                      {"text", VisibleUtf8(visible, h.Line.Script, "\n")},
                      {"script", Utf8(h.Line.Script)}});
    }
    out << list.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  } else {
    for (const auto& h : hits) {
      std::string seen = visible.Visible(h.Line.Script);
      std::replace(seen.begin(), seen.end(), '\n', ' ');
      out << StampIso(h.Line.Stamp) << '\t' << Shown(h.Line.Ghost) << '\t' << Shown(h.Line.Channel) << '\t'
          << Shown(seen) << '\n';
    }
  }
  if (format != "log") {
    const uint64_t total = store.Count(query);
    err << kProgram << ": " << hits.size() << " of " << total << (total == 1 ? " message" : " messages")
        << " shown\n";
  }
  return 0;
}

std::optional<int64_t> DateOption(const TArgs& a, const char* name, bool endOfDay) {
  const std::string v = Opt(a, name);
  if (v.empty()) return std::nullopt;
  const auto when = ReadQueryDate(v, endOfDay, nullptr);
  if (!when) throw EUsage(std::string(name) + " wants a date YYYY/MM/DD, not " + v);
  return when;
}

std::optional<std::string> NameOption(const TArgs& a, const char* name) {
  const auto it = a.Options.find(name);
  if (it == a.Options.end()) return std::nullopt;
  try {
    return text::Utf8ToCp932(it->second);
  } catch (const text::EEncodingError&) {
    throw EUsage(std::string(name) + " has characters no log can hold");
  }
}

int Export(const TArgs& a, IArchiveStore& store, std::ostream& out) {
  TArchiveFilter f;
  f.Since = DateOption(a, "--since", false);
  f.Until = DateOption(a, "--until", true);
  f.Ghost = NameOption(a, "--ghost");
  f.Channel = NameOption(a, "--channel");
  store.Export(
      f, [&](const TArchiveLine& l) { out << l.Text() << "\r\n"; },
      [&](uint64_t lines) { out << ArchiveLogHead("Hollowmere archive export", lines); });
  out.flush();
  if (!out) throw Error("the export could not be written out");
  return 0;
}

int Stats(IArchiveStore& store, std::ostream& out) {
  const TArchiveStats s = store.Stats();
  out << "archive: " << store.Where() << "\nmessages: " << s.Messages << "\nrevisions: " << s.Revisions
      << "\nghosts: " << s.Ghosts << "\nchannels: " << s.Channels << "\nfirst: "
      << (s.FirstStamp.empty() ? "-" : StampIso(s.FirstStamp))
      << "\nlast: " << (s.LastStamp.empty() ? "-" : StampIso(s.LastStamp)) << "\nfile size: " << s.FileBytes
      << " bytes\n";
  return 0;
}

int Check(IArchiveStore& store, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> problems = store.Check();
  for (const auto& p : problems) err << kProgram << ": " << store.Where() << ": " << p << '\n';
  if (problems.empty()) out << store.Where() << ": ok\n";
  return problems.empty() ? 0 : 1;
}

}  // namespace

std::string ArchiveUsageText() {
  return "usage: hollowmere-archive COMMAND [--archive FILE] ...\n"
         "  import FILE...                      merge log texts into the archive\n"
         "  search QUERY [--limit N] [--format text|log|json]\n"
         "                                      newest matches first (default 100)\n"
         "  export [--since D] [--until D] [--ghost NAME] [--channel NAME]\n"
         "                                      the kept lines as a log text\n"
         "  stats                               counts, dates and file size\n"
         "  check                               integrity of the file and its index\n"
         "Query: words (all must occur), \"a phrase\", -word, ghost:NAME, channel:NAME,\n"
         "since:YYYY/MM/DD, until:YYYY/MM/DD.\n"
         "--archive FILE uses FILE instead of archive.sqlite3 in the program folder;\n"
         "--patterns DIR reads tagpat.txt and metapat.txt there instead.\n";
}

int RunArchiveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool terminal) {
  TArgs a;
  try {
    a = ParseArgs(args);
    if (a.Help) {
      out << ArchiveUsageText();
      return 0;
    }
    // Option values are checked before the archive is touched.
    if (a.Command == "search") {
      SearchLimit(a);
      SearchFormat(a);
    }
    if (a.Command == "export") {
      DateOption(a, "--since", false);
      DateOption(a, "--until", true);
      NameOption(a, "--ghost");
      NameOption(a, "--channel");
    }
  } catch (const EUsage& e) {
    err << kProgram << ": " << e.what() << '\n' << ArchiveUsageText();
    return 2;
  }
  try {
    // Only an import makes an archive: a mistyped path must not answer
    // "0 messages" from a new, empty one.
    const std::string path = ArchivePath(a);
    if (a.Command != "import" && !std::filesystem::exists(path)) {
      err << kProgram << ": no archive at " << path << " (import a log first, or give --archive FILE)\n";
      return 1;
    }
    const std::unique_ptr<IArchiveStore> opened = OpenSqliteArchive(path);
    IArchiveStore& store = *opened;
    if (a.Command == "import" || a.Command == "search") {
      TVisibleText visible = PatternsVisibleText(a);
      return a.Command == "import" ? Import(a, store, visible, out, err, terminal)
                                   : Search(a, store, visible, out, err);
    }
    if (a.Command == "export") return Export(a, store, out);
    if (a.Command == "stats") return Stats(store, out);
    return Check(store, out, err);
  } catch (const EUsage& e) {
    err << kProgram << ": " << e.what() << '\n' << ArchiveUsageText();
    return 2;
  } catch (const std::exception& e) {
    err << kProgram << ": " << Utf8(text::VisibleControls(e.what(), text::LineBreaks::Keep)) << '\n';
    return 1;
  }
}

}  // namespace hollowmere
