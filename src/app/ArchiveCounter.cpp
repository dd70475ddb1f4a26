// The search dialog's live count.
#include "app/ArchiveCounter.h"

#include <algorithm>
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
      throw ESearchQueryError("the period's dates are not real days", ESearchQueryError::TKind::BadPeriod);
    }
    query.Filter.Since = WallSeconds({request.From, {}});
    query.Filter.Until = WallSeconds({request.To, {}}) + 24 * 60 * 60;
  }
  return query;
}

std::string ShownQueryText(const std::string& utf8) {
  std::string out;
  // Character by character, so one that CP932 lacks costs only itself.
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0xF0) n = 4;
    else if (lead >= 0xE0) n = 3;
    else if (lead >= 0xC0) n = 2;
    n = std::min(n, utf8.size() - i);
    try {
      out += text::Utf8ToCp932(std::string_view(utf8).substr(i, n));
    } catch (const std::exception&) {
      out += '?';
    }
    i += n;
  }
  return out;
}

std::string SearchProblemText(const ESearchQueryError& e) {
  using K = ESearchQueryError::TKind;
  const std::string key = ShownQueryText(e.Key());
  const std::string value = "\"" + ShownQueryText(e.Value()) + "\"";
  switch (e.Kind()) {
    case K::NeedsValue:
      return key + text::Sjis(": の後に名前を書いてください (例 ") + key + text::Sjis(":さくら)");
    case K::NotInLogs:
      return key + ": " + value + text::Sjis(" にはログにない文字があります");
    case K::NotADate:
      return key + ": " + value + text::Sjis(" は日付ではありません (2004/05/06 のように書いてください)");
    case K::BadPeriod:
      return text::Sjis("期間の日付が正しくありません");
    case K::Other:
      break;
  }
  return text::Sjis("検索できない語です: ") + ShownQueryText(e.what());
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
  } catch (const ESearchQueryError& e) {
    answer.Problem = SearchProblemText(e);
  } catch (const std::exception& e) {
    answer.Problem = e.what();
  }
  return answer;
}

}  // namespace hollowmere
