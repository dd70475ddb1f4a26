// The road from an accepted log text into the archive, for the window and
// the batch runs alike: call Archive() with every text the log reader
// accepts, before its pages are written. It never throws and never stops
// the pages: a failure comes back as the one message to show (status bar in
// the window, standard error in batch), and the archive is as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveStore.h"
#include "archive/VisibleText.h"

namespace hollowmere {

inline constexpr const char* kArchiveFileName = "archive.sqlite3";

// The archive file of a program folder (native, ending in "/").
std::string DefaultArchivePath(const std::string& programFolder);

// The entries of a log text, made as the merge asks for them. Raises
// ELogFormatError for a malformed log, like the log reader; IsLog() is false
// for a text that is no log at all.
class TLogEntries : public IArchiveEntries {
 public:
  TLogEntries(std::string_view logText, TVisibleText& visible) : lines_(logText), visible_(visible) {}
  bool IsLog() const { return lines_.IsLog(); }
  std::size_t Size() const override { return lines_.Size(); }
  bool Next(TArchiveEntry& entry) override;

 private:
  TArchiveLineReader lines_;
  TVisibleText& visible_;
};

// One entry made from a line.
TArchiveEntry MakeArchiveEntry(TArchiveLine line, TVisibleText& visible);

// The visible text of a script in UTF-8, runs joined by `joint`.
std::string VisibleUtf8(TVisibleText& visible, std::string_view script, std::string_view joint = " ");

// The outcome of archiving one log text.
struct TArchiveOutcome {
  bool Archived = false;      // merged and committed
  TMergeCounts Counts;
  std::string Message;        // CP932; empty unless something went wrong
};

class TLogArchiver {
 public:
  // `path`: the archive file (native); `visible` outlives the archiver.
  // The store is opened at the first Archive() and kept open.
  TLogArchiver(std::string path, TVisibleText& visible) : path_(std::move(path)), visible_(visible) {}

  TArchiveOutcome Archive(std::string_view logText, int64_t seenAt, const TMergeProgress& progress = {});
  // The open store, opening it when needed; raises EArchiveError.
  IArchiveStore& Store();

 private:
  std::string path_;
  TVisibleText& visible_;
  std::unique_ptr<IArchiveStore> store_;
};

}  // namespace hollowmere
