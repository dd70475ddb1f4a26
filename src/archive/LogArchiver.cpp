// Archiving accepted log texts; the only place that turns archive failures
// into the single message the user sees.
#include "archive/LogArchiver.h"

#include "archive/SqliteArchive.h"
#include "log/MessageItem.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {

std::string DefaultArchivePath(const std::string& programFolder) { return programFolder + kArchiveFileName; }

TArchiveEntry MakeArchiveEntry(TArchiveLine line, TVisibleText& visible) {
  TArchiveEntry e;
  e.Key = ArchiveKey(line);
  e.Folded = visible.Folded(line.Script);
  e.Posted = StampSeconds(line.Stamp);
  e.Line = std::move(line);
  return e;
}

bool TLogEntries::Next(TArchiveEntry& entry) {
  // Filled in place: the caller passes the same entry for every line.
  if (!lines_.Next(entry.Line)) return false;
  entry.Key = ArchiveKey(entry.Line);
  entry.Folded = visible_.Folded(entry.Line.Script);
  entry.Posted = StampSeconds(entry.Line.Stamp);
  return true;
}

std::string VisibleUtf8(TVisibleText& visible, std::string_view script, std::string_view joint) {
  std::string text = text::Cp932ToUtf8Lossy(visible.Visible(script));
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += joint;
    } else {
      out += c;
    }
  }
  return out;
}

IArchiveStore& TLogArchiver::Store() {
  if (!store_) store_ = OpenSqliteArchive(path_);
  return *store_;
}

TArchiveOutcome TLogArchiver::Archive(std::string_view logText, int64_t seenAt, const TMergeProgress& progress) {
  TArchiveOutcome out;
  try {
    TLogEntries entries(logText, visible_);
    if (!entries.IsLog()) return out;
    out.Counts = Store().Merge(entries, seenAt, progress);
    out.Archived = true;
  } catch (const EArchiveError& e) {
    out.Message = e.what();
  } catch (const ELogFormatError&) {
    // The pages report a malformed log themselves; the archive keeps nothing of it.
  } catch (const std::exception& e) {
    out.Message = "archive " + ProgramPath(path_) + ": " + e.what();
  }
  return out;
}

}  // namespace hollowmere
