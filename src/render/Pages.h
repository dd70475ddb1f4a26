// From a log text to numbered page files and the view: ShowLog parses the
// log, cuts it into pages of MessagesPerPage messages, writes page k as
// PageFilePrefix + k + ".html" and shows page 0.
// Invariants: a page file is replaced whole or not at all (written to a
// temporary file in the same folder, then swapped with or renamed over the
// old page); nothing is written or removed before the whole log has parsed;
// pages are written in order on the calling thread, and the view moves only
// after the last page is in place. Pages may be built on worker threads;
// what is written (pages and surface pictures) is the same byte for byte
// whatever their number. One run at a time writes into a folder (a lock
// file beside the pages); no page is written that would leave the disk
// short of its kept free share; once every page of a run is in place, the
// pages of an earlier, longer log beyond the new last page are removed.
// What a run writes grows in step with the log: past kFullNavigationPages
// pages a page's navigation names only a few pages, not all of them. A page
// grown large while it is built goes into its temporary file in pieces, and
// is put in place as any other.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "log/MessageItem.h"
#include "platform/Ui.h"
#include "render/DateText.h"
#include "render/ScriptRenderer.h"

namespace hollowmere {

class TSsParser;
class TAWKStr;
class TSppList;
class ISurfaceFiles;
class IDiskSpace;

// Up to this many pages, each page's navigation links every other page.
// Beyond it, page k links the first and the last page and those at most
// kNavigationReach away from k, so the navigation keeps one size however
// long the log.
inline constexpr int64_t kFullNavigationPages = 200;
inline constexpr int64_t kNavigationReach = 10;

struct ShowLogContext {
  TSsParser& parser;
  TAWKStr& awk;
  TSppList& plugins;
  std::string SurfaceCacheDir;  // ends in "/"
  std::string PageFilePrefix;   // absolute folder + "long"
  std::string HtmlFont;
  int32_t MessagesPerPage;
  bool Emulation;
  std::string Locale;  // ICU locale name; empty = the user's locale from the environment
  std::function<void(std::size_t done, std::size_t total)> OnProgress;  // optional
  // Optional: runs once the log has parsed, before anything is written (a
  // caller makes its output folders here, so a refused log leaves none).
  std::function<void()> OnAccepted = {};
  // Optional: each message of a page, once that page is written, so the
  // caller knows which links the pages carry.
  std::function<void(const TMessageItem&)> OnMessageWritten = {};
  // Threads that build pages: 0 for one per processor of the machine, 1 to
  // build every page on the calling thread. The hooks above always run on
  // the calling thread.
  unsigned Threads = 0;
  // Where free space is asked for; null for the system's own figures.
  IDiskSpace* Space = nullptr;
  // How long a run waits for another run writing into the same folder.
  std::chrono::milliseconds FolderWait = std::chrono::seconds(5);
  // A page that grows past this many bytes while it is built goes into its
  // file in pieces, so a page many times its messages' size (a script of
  // short tags draws a balloon for each) is never held whole in memory.
  std::size_t SpillBytes = std::size_t{8} << 20;
};

// false when the text was rejected (first line not "Result: OK"): nothing written or shown.
// Before the first page, temporary page files that a killed run of this
// program left in the page folder are removed (those of running processes stay).
// Throws hollowmere::Error (or a subclass) on a parse, render or write failure, after
// leaving earlier pages written and without navigating; EFolderBusyError when
// another run holds the folder past FolderWait (nothing written), ENoSpaceError
// before a page that would leave the disk short of free space.
bool ShowLog(const std::string& logText, const ShowLogContext& ctx, IHtmlView& view);

// True for `base` + decimal digits + ".html", the name of a page file.
bool IsPageFileName(std::string_view name, std::string_view base);

// True for the name of a page file numbered past `last`, written as this
// program writes it: `base`, a decimal number without leading zeros, ".html".
bool IsPageFilePast(std::string_view name, std::string_view base, int64_t last);

// The page size actually used: a setting below 1 counts as 1.
int32_t EffectivePageSize(int32_t messagesPerPage);

// The navigation lines of page k of pages 0..last, each ending in CR LF.
std::string PageNavigation(std::string_view pageFilePrefix, int64_t k, int64_t last);

// The number of page-building threads a run uses: `configured` when not 0,
// else one per processor of the machine (at least one).
unsigned PageThreads(unsigned configured);

// The navigation lines of every page of pages 0..last; with up to
// kFullNavigationPages pages, the links are made once for all pages.
class TNavigationLinks {
 public:
  // For pages 0..last and a page prefix ready for an href value; nothing is
  // made again when both are as before.
  void Reset(std::string_view escapedPrefix, int64_t last);
  // Appends page k's navigation lines, each ending in CR LF.
  void Append(std::string& out, int64_t k) const;

 private:
  void AppendLink(std::string& out, int64_t j) const;
  // Pages first..last of the list, k (if among them) as its bare number.
  void AppendPages(std::string& out, int64_t first, int64_t last, int64_t k) const;

  std::string prefix_;
  int64_t last_ = -1;
  // With at most kFullNavigationPages pages: every page's link and number,
  // in page order, and where page j's starts (one more at the end).
  // Beyond that nothing is kept: a page's few links are made as needed.
  std::string links_;
  std::vector<std::size_t> starts_;
};

// Builds pages for one ShowLog run; holds the script renderer and the date
// formatter so that both are made once per run (per thread).
class TPageBuilder {
 public:
  // With the context's tokenizer, regular-expression component and plugin
  // list (surface pictures made at once).
  explicit TPageBuilder(const ShowLogContext& ctx);
  // With a tokenizer and regular-expression component of this builder's own,
  // and the wanted surface pictures sent to `surfaces`.
  TPageBuilder(const ShowLogContext& ctx, TSsParser& parser, TAWKStr& awk, ISurfaceFiles& surfaces);

  // Appends page k (of pages 0..last) holding `messages` to `out`. Ends
  // early, with the page unfinished, once `stop` (if given) is true.
  void AppendPageHtml(std::string& out, std::span<const TMessageItem> messages, int64_t k,
                      int64_t last, const std::atomic<bool>* stop = nullptr);
  // From now on, a page grown past the context's SpillBytes is handed to
  // `spill` between balloons, which takes what `out` holds and empties it.
  void SetSpill(std::function<void(std::string& out)> spill);

 private:
  void MakeHead();
  void AppendInfoBlock(std::string& out, const TMessageItem& message);

  const ShowLogContext& ctx_;
  int32_t perPage_;
  TScriptRenderer renderer_;
  TDateText dates_;
  std::string head_;
  std::string escapedPrefix_;
  TNavigationLinks navigation_;
  std::string info_;
};

// The whole page k as one text (a builder made for the call).
std::string PageHtml(const ShowLogContext& ctx, std::span<const TMessageItem> messages, int64_t k,
                     int64_t last);

}  // namespace hollowmere
