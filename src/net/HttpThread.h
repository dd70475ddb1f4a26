// THTTPDownloadThread: one HTTP transfer (net/HttpTransfer.h) on a thread of
// its own, its outcome handed to the main thread. Exactly one of the two
// handlers runs per transfer, on the main thread through the main-thread
// loop, while the worker waits for it; handlers of different workers never
// overlap. A worker may be abandoned: it then fails at once, and an
// abandon "quietly" (program end) runs no handler at all.
//
// TDownloadThreads owns the workers that dispose of themselves once their
// transfer is over (the vote and agree requests): a finished worker is
// reaped at the next start, and at the end every live one is abandoned
// quietly and waited for, so no worker outlives the window.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/HttpTransfer.h"
#include "platform/MainLoop.h"

namespace hollowmere {

class THTTPDownloadThread {
 public:
  using Handler = std::function<void(THTTPDownloadThread& worker)>;

  // Made suspended: nothing is sent before Start. `loop` must outlive the worker.
  THTTPDownloadThread(IMainLoop& loop, std::string host, std::string requestPath,
                      std::string postData, THttpLimits limits = {});
  // Main thread. A worker still running is abandoned quietly and waited
  // for, serving the loop meanwhile.
  ~THTTPDownloadThread();
  THTTPDownloadThread(const THTTPDownloadThread&) = delete;
  THTTPDownloadThread& operator=(const THTTPDownloadThread&) = delete;

  const std::string Host;
  const std::string RequestPath;
  const std::string PostData;
  // Written by the worker before its handler runs; read them in the handler
  // or once Finished() holds.
  std::string ResponseText;
  std::string ErrorMessage;
  // Set before Start; either may be left empty.
  Handler OnComplete;
  Handler OnError;

  // Starts the transfer. Throws std::system_error when no thread can be made.
  void Start();
  // Main thread. The transfer fails as abandoned; with `quietly` its
  // handler, if not yet run, never runs.
  void Abandon(bool quietly);
  // True once the worker has done all it will do (its handler, if any, has
  // returned or was dropped).
  bool Finished() const { return finished_.load(); }
  // Kind of the failure, valid once a failure is stored.
  EHttpError::Kind ErrorKind() const { return errorKind_; }
  uint64_t BytesReceived() const { return control_.BytesReceived(); }

 private:
  void Execute();
  void RunHandler(const Handler& handler);

  IMainLoop& loop_;
  const THttpLimits limits_;
  TTransferControl control_;
  EHttpError::Kind errorKind_ = EHttpError::Kind::Transport;
  bool quiet_ = false;  // main thread only
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

class TDownloadThreads {
 public:
  explicit TDownloadThreads(IMainLoop& loop) : loop_(loop) {}
  ~TDownloadThreads() { AbandonAll(); }
  TDownloadThreads(const TDownloadThreads&) = delete;
  TDownloadThreads& operator=(const TDownloadThreads&) = delete;

  // Starts the worker and keeps it until it has finished. Throws as Start does
  // (the worker is then released).
  void Start(std::unique_ptr<THTTPDownloadThread> worker);
  // Main thread. Abandons every live worker quietly and serves the loop until
  // all have ended.
  void AbandonAll();
  std::size_t Live() const;

 private:
  void Reap();
  IMainLoop& loop_;
  std::vector<std::unique_ptr<THTTPDownloadThread>> workers_;
};

}  // namespace hollowmere
