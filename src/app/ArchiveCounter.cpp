// The search dialog's live count.
#include "app/ArchiveCounter.h"

#include <utility>

#include "archive/SearchQuery.h"
#include "text/Encoding.h"

namespace hollowmere {

TSearchQuery ArchiveSearchQuery(const TArchiveSearchRequest& request, const IDateFormats* formats) {
  TSearchQuery query = ParseSearchQuery(request.QueryUtf8, formats);
  if (!request.Ghost.empty()) query.Filter.Ghost = request.Ghost;
  if (!request.Channel.empty()) query.Filter.Channel = request.Channel;
  if (request.UsePeriod) {
    if (!IsValidDate(request.From) || !IsValidDate(request.To)) {
      throw ESearchQueryError(text::Sjis("期間の日付が正しくありません"));
    }
    query.Filter.Since = WallSeconds({request.From, {}});
    query.Filter.Until = WallSeconds({request.To, {}}) + 24 * 60 * 60;
  }
  return query;
}

// What the main thread and the worker share; posted answers hold it too,
// so an answer arriving after the counter is gone finds it closed.
struct TArchiveCounter::TShared {
  std::mutex Mutex;
  std::condition_variable Wake;
  std::optional<TArchiveSearchRequest> Waiting;
  uint64_t Newest = 0;  // serial of the newest request asked
  bool Closed = false;
  TAnswer Answer;
};

TArchiveCounter::TArchiveCounter(IMainLoop& loop, TOpen open, const IDateFormats* formats, TAnswer answer)
    : loop_(loop), open_(std::move(open)), formats_(formats), shared_(std::make_shared<TShared>()) {
  shared_->Answer = std::move(answer);
  worker_ = std::thread([this] { Work(); });
}

TArchiveCounter::~TArchiveCounter() {
  {
    const std::lock_guard<std::mutex> lock(shared_->Mutex);
    shared_->Closed = true;
  }
  shared_->Wake.notify_all();
  worker_.join();
}

void TArchiveCounter::Ask(const TArchiveSearchRequest& request) {
  {
    const std::lock_guard<std::mutex> lock(shared_->Mutex);
    shared_->Waiting = request;
    ++shared_->Newest;
  }
  shared_->Wake.notify_all();
}

void TArchiveCounter::Work() {
  for (;;) {
    TArchiveSearchRequest request;
    uint64_t serial = 0;
    {
      std::unique_lock<std::mutex> lock(shared_->Mutex);
      shared_->Wake.wait(lock, [&] { return shared_->Closed || shared_->Waiting.has_value(); });
      if (shared_->Closed) return;
      request = std::move(*shared_->Waiting);
      shared_->Waiting.reset();
      serial = shared_->Newest;
    }
    TArchiveCount count = CountOne(request);
    loop_.Post([shared = shared_, serial, count = std::move(count)] {
      {
        const std::lock_guard<std::mutex> lock(shared->Mutex);
        if (shared->Closed || serial != shared->Newest) return;
      }
      shared->Answer(count);
    });
  }
}

TArchiveCount TArchiveCounter::CountOne(const TArchiveSearchRequest& request) {
  TArchiveCount answer;
  try {
    const TSearchQuery query = ArchiveSearchQuery(request, formats_);
    if (!store_) store_ = open_();
    answer.Count = store_->Count(query);
  } catch (const std::exception& e) {
    answer.Problem = e.what();
  }
  return answer;
}

}  // namespace hollowmere
