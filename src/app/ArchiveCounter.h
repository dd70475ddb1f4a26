// Counting the archive's matches for the search dialog on a worker thread,
// so the window goes on while the user types. Only the newest request is
// counted: one asked while another is being counted replaces any waiting
// one, and an answer to a request that has since changed is never shown.
// The worker reads through a store of its own, so it never shares a
// database connection with the main thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/ArchiveUi.h"
#include "archive/ArchiveStore.h"
#include "archive/SearchQuery.h"
#include "platform/DateFormats.h"
#include "platform/MainLoop.h"

namespace hollowmere {

// The search query of a dialog request: the typed words and filters, with
// the choosers' ghost, channel and period in place of any typed filter of
// the same kind. Raises ESearchQueryError for text that cannot be searched.
TSearchQuery ArchiveSearchQuery(const TArchiveSearchRequest& request, const IDateFormats* formats);

// Typed text as the window shows it (CP932); a character no log can hold
// shows as "?".
std::string ShownQueryText(const std::string& utf8);
// Why a request cannot be searched, in the window's words (CP932).
std::string SearchProblemText(const ESearchQueryError& e);

class TArchiveCounter {
 public:
  using TOpen = std::function<std::unique_ptr<IArchiveStore>()>;
  using TAnswer = std::function<void(const TArchiveCount&)>;

  // `open` makes the worker's store (on the worker); `answer` runs on the
  // main thread.
  TArchiveCounter(IMainLoop& loop, TOpen open, const IDateFormats* formats, TAnswer answer);
  // Waits for a count under way; its answer is dropped.
  ~TArchiveCounter();
  TArchiveCounter(const TArchiveCounter&) = delete;
  TArchiveCounter& operator=(const TArchiveCounter&) = delete;

  void Ask(const TArchiveSearchRequest& request);

 private:
  struct TShared;
  void Work();
  TArchiveCount CountOne(const TArchiveSearchRequest& request);

  IMainLoop& loop_;
  TOpen open_;
  const IDateFormats* formats_;
  std::unique_ptr<IArchiveStore> store_;  // the worker's alone
  std::shared_ptr<TShared> shared_;
  std::thread worker_;
};

}  // namespace hollowmere
