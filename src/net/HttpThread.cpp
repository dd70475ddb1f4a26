// The worker's body and its handler hand-over.
#include "net/HttpThread.h"

#include <algorithm>

namespace hollowmere {

THTTPDownloadThread::THTTPDownloadThread(IMainLoop& loop, std::string host, std::string requestPath,
                                         std::string postData, THttpLimits limits)
    : Host(std::move(host)),
      RequestPath(std::move(requestPath)),
      PostData(std::move(postData)),
      loop_(loop),
      limits_(limits) {}

THTTPDownloadThread::~THTTPDownloadThread() {
  if (!thread_.joinable()) return;
  if (!finished_.load()) {
    Abandon(true);
    // The worker may be waiting for the main thread to run its handler.
    loop_.ServeUntil([this] { return finished_.load(); });
  }
  thread_.join();
}

void THTTPDownloadThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void THTTPDownloadThread::Abandon(bool quietly) {
  if (quietly) quiet_ = true;
  control_.Abandon();
}

void THTTPDownloadThread::RunHandler(const Handler& handler) {
  if (!handler) return;
  // The step checks `quiet_` on the main thread, where it is set, so an
  // abandon that comes while the step waits in the queue still holds.
  RunOnMainThreadAndWait(loop_, [this, &handler] {
    if (!quiet_) handler(*this);
  });
}

void THTTPDownloadThread::Execute() {
  bool ok = false;
  try {
    ResponseText = PerformHttpTransfer({Host, RequestPath, PostData}, limits_, control_);
    ok = true;
  } catch (const EHttpError& e) {
    errorKind_ = e.kind();
    ErrorMessage = e.what();
  } catch (...) {
    // Not a failure of the transfer (memory, say): no handler runs.
    finished_.store(true);
    return;
  }
  try {
    RunHandler(ok ? OnComplete : OnError);
  } catch (...) {
    // A handler's error is the handler's business; the worker just ends.
  }
  finished_.store(true);
}

void TDownloadThreads::Start(std::unique_ptr<THTTPDownloadThread> worker) {
  Reap();
  worker->Start();
  workers_.push_back(std::move(worker));
}

void TDownloadThreads::Reap() {
  std::erase_if(workers_, [](const std::unique_ptr<THTTPDownloadThread>& w) { return w->Finished(); });
}

void TDownloadThreads::AbandonAll() {
  for (auto& w : workers_) w->Abandon(true);
  loop_.ServeUntil([this] {
    return std::all_of(workers_.begin(), workers_.end(),
                       [](const std::unique_ptr<THTTPDownloadThread>& w) { return w->Finished(); });
  });
  workers_.clear();
}

std::size_t TDownloadThreads::Live() const {
  return static_cast<std::size_t>(std::count_if(
      workers_.begin(), workers_.end(),
      [](const std::unique_ptr<THTTPDownloadThread>& w) { return !w->Finished(); }));
}

}  // namespace hollowmere
