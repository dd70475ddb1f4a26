// The main window's dealings with the archive: every accepted log kept before
// its pages are written, the search dialog and the period view, both written
// through the same page writer as a fetched log, so their links work alike.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/ArchiveCounter.h"
#include "app/MainController.h"
#include "archive/LogArchiver.h"
#include "archive/SqliteArchive.h"
#include "archive/VisibleText.h"
#include "platform/FileSystem.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

// More hits than this are not written as pages: the newest are, and the
// status bar says how many there were.
constexpr std::size_t kMaxArchivePages = 100000;

std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

// "N 件", and "(新しい M 件を表示)" when not all of them are shown.
std::string CountText(uint64_t total, std::size_t shown) {
  std::string out = Grouped(total) + text::Sjis(" 件");
  if (shown < total) out += text::Sjis(" (新しい ") + Grouped(shown) + text::Sjis(" 件を表示)");
  return out;
}

// The archive's filter of the period a log download would fetch.
TArchiveFilter PeriodFilter(const TLogConditions& conditions, const TLocalTime& now) {
  TArchiveFilter filter;
  const int64_t nowSeconds = WallSeconds(now);
  switch (conditions.Mode()) {
    case TLogMode::Period:
      filter.Since = nowSeconds - conditions.PeriodMinutes() * 60;
      break;
    case TLogMode::Range: {
      // A range picked backwards means the same days.
      TCivilDate lo = conditions.LowerDate();
      TCivilDate hi = conditions.UpperDate();
      if (DaysFromCivil(hi) < DaysFromCivil(lo)) std::swap(lo, hi);
      filter.Since = WallSeconds({lo, {}});
      filter.Until = WallSeconds({hi, {}}) + 24 * 60 * 60;
      break;
    }
    case TLogMode::Since:
      filter.Since = WallSeconds({conditions.SinceDate(), conditions.SinceTime()});
      break;
  }
  return filter;
}

// The search as the status bar names it: the words, then what the choosers
// narrowed it to.
std::string SearchNamed(const TArchiveSearchRequest& r) {
  std::string named;
  if (!r.QueryUtf8.empty()) named += " \"" + ShownQueryText(r.QueryUtf8) + "\"";
  if (!r.Ghost.empty()) named += text::Sjis(" ゴースト:") + r.Ghost;
  if (!r.Channel.empty()) named += text::Sjis(" チャンネル:") + r.Channel;
  if (r.UsePeriod) {
    const auto day = [](const TCivilDate& d) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.Year, d.Month, d.Day);
      return std::string(buf);
    };
    named += text::Sjis(" 期間:") + day(r.From) + "-" + day(r.To);
  }
  return named;
}

}  // namespace

std::string TMainController::ArchivePath() const {
  return settings_.ArchiveFile.empty() ? DefaultArchivePath(NativePath(exeDir_))
                                       : NativePath(settings_.ArchiveFile);
}

TLogArchiver& TMainController::Archiver() {
  if (!archiver_) {
    // The same pattern files as the pages, so the archive searches what the balloons show.
    if (!visible_) visible_ = std::make_unique<TVisibleText>(TVisibleText::FromFolder(exeDir_));
    archiver_ = std::make_unique<TLogArchiver>(ArchivePath(), *visible_);
  }
  return *archiver_;
}

void TMainController::ArchiveLog(const std::string& logText) {
  if (!settings_.ArchiveEnabled) return;
  TArchiveOutcome outcome;
  try {
    outcome = Archiver().Archive(logText, WallSeconds(ui_.Service.Clock.Now()));
  } catch (const std::exception& e) {
    outcome.Message = text::Sjis("アーカイブに保存できません: ") + e.what();
  }
  if (!outcome.Message.empty()) {
    ui_.Window.ShowArchiveState(outcome.Message, true);
    return;
  }
  if (outcome.Archived) ShowArchiveCount();
}

void TMainController::ShowArchiveCount() {
  // Opening creates the file; before the first log there is nothing to show.
  if (!archiver_ && !FileExists(ProgramPath(ArchivePath()))) return;
  try {
    const TArchiveStats stats = Archiver().Store().Stats();
    std::string shown = text::Sjis("アーカイブ ") + Grouped(stats.Messages) + text::Sjis(" 件");
    if (!settings_.ArchiveEnabled) shown += text::Sjis(" (保存停止中)");
    ui_.Window.ShowArchiveState(shown, false);
  } catch (const std::exception& e) {
    ui_.Window.ShowArchiveState(e.what(), true);
  }
}

void TMainController::ArchiveEnabledMenuClick() {
  settings_.ArchiveEnabled = !settings_.ArchiveEnabled;
  ui_.Window.ShowArchiveEnabled(settings_.ArchiveEnabled);
  ShowArchiveCount();
}

IArchiveStore& TMainController::ArchiveToRead() {
  // Reading never makes an archive: before the first log there is none.
  if (!archiver_ && !FileExists(ProgramPath(ArchivePath()))) {
    throw EArchiveError(text::Sjis("アーカイブ ") + ProgramPath(ArchivePath()) +
                        text::Sjis(" はまだありません (ログを取得すると作られます)"));
  }
  return Archiver().Store();
}

void TMainController::ShowArchivedLines(const std::vector<TArchiveLine>& lines, const std::string& status) {
  // Nothing found: the pages being read stay, and the status says so.
  if (lines.empty()) {
    ShowStatus(status);
    return;
  }
  plugins_.LoadFolder(settings_.SppDir);
  if (WritePages(ArchiveLogText(lines, "Hollowmere archive"))) statusAfterLoad_ = status;
  ShowStatus(status);
}

void TMainController::ArchiveSearchMenuClick() {
  if (!ui_.ArchiveSearch) return;
  IArchiveStore& store = ArchiveToRead();
  const std::vector<std::string> ghosts = store.Ghosts();
  const std::vector<std::string> channels = store.Channels();
  const IDateFormats* formats = &ui_.Service.DateFormats;
  {
    const std::string path = ArchivePath();
    TArchiveCounter counter(
        ui_.Loop, [path] { return OpenSqliteArchive(path); }, formats,
        [this](const TArchiveCount& count) { ui_.ArchiveSearch->ShowCount(count); });
    const bool ok = ui_.ArchiveSearch->Execute(lastSearch_, ghosts, channels,
                                               [&counter](const TArchiveSearchRequest& r) { counter.Ask(r); });
    if (!ok) return;
  }
  TSearchQuery query;
  try {
    query = ArchiveSearchQuery(lastSearch_, formats);
  } catch (const ESearchQueryError& e) {
    ui_.Boxes.ShowMessage(SearchProblemText(e));
    return;
  }
  std::vector<TArchiveHit> hits = store.Search(query, kMaxArchivePages);
  const uint64_t total = hits.size() < kMaxArchivePages ? hits.size() : store.Count(query);
  std::vector<TArchiveLine> lines;
  lines.reserve(hits.size());
  for (TArchiveHit& hit : hits) lines.push_back(std::move(hit.Line));
  ShowArchivedLines(lines, text::Sjis("検索") + SearchNamed(lastSearch_) + text::Sjis(": ") +
                               CountText(total, lines.size()));
}

void TMainController::ArchivePeriodMenuClick() {
  IArchiveStore& store = ArchiveToRead();
  const TLocalTime now = ui_.Service.Clock.Now();
  TLogConditions conditions(now);
  if (!ui_.Service.LogDownDialog.Execute(conditions)) return;
  TSearchQuery query;
  query.Filter = PeriodFilter(conditions, now);
  // The newest of a long period, shown in log order as a fetch would be.
  std::vector<TArchiveHit> hits = store.Search(query, kMaxArchivePages);
  const uint64_t total = hits.size() < kMaxArchivePages ? hits.size() : store.Count(query);
  std::vector<TArchiveLine> lines;
  lines.reserve(hits.size());
  for (auto it = hits.rbegin(); it != hits.rend(); ++it) lines.push_back(std::move(it->Line));
  ShowArchivedLines(lines, text::Sjis("アーカイブの期間表示: ") + CountText(total, lines.size()));
}

}  // namespace hollowmere
