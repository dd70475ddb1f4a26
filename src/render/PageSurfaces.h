// Surface pictures wanted by pages that are built on several threads at once.
// Each page's wanted pictures are collected while it is built and handed in
// whole; they are then made behind one lock (the plugin list, the plugins and
// the cache folder are touched by one thread at a time), in page order, and
// only once the page before is written, so the cache folder ends up exactly
// as a one-thread run leaves it, also when a run stops half-way: the same
// plugin calls in the same order, the first of two names sharing a file wins.
// Invariant: after a page whose building or pictures failed, no later page's
// pictures are made.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "render/ScriptRenderer.h"

namespace hollowmere {

class TSppList;

// One page's wanted pictures, in the order its messages name them.
class TWantedSurfaces : public ISurfaceFiles {
 public:
  void Want(const std::string& ghostName, int32_t surface) override {
    wanted_.emplace_back(ghostName, surface);
  }
  std::vector<std::pair<std::string, int32_t>> Take() { return std::exchange(wanted_, {}); }

 private:
  std::vector<std::pair<std::string, int32_t>> wanted_;
};

class TPageSurfaces {
 public:
  // `cacheDir` is CP932 and ends in "/".
  TPageSurfaces(TSppList& plugins, std::string cacheDir);

  // Hands in page `page`'s wanted pictures; `failed` when building the page
  // failed, so that no later page's pictures are made. Pages may come in any
  // order. Whatever may be made now is made at once, on the calling thread.
  void Submit(int64_t page, std::vector<std::pair<std::string, int32_t>> wanted, bool failed);

  // Pages up to `page` may have their pictures made: the pages before are
  // written. Page 0's may be made from the start. Whatever may be made now
  // is made at once, on the calling thread.
  void Allow(int64_t page);

  // Waits until the pictures of pages 0..page are made (or making them has
  // stopped); the error making page `page`'s raised, if any.
  std::exception_ptr WaitFor(int64_t page);

  // Makes no more pictures; pages handed in later are dropped.
  void Stop();

 private:
  struct Pending {
    std::vector<std::pair<std::string, int32_t>> wanted;
    bool failed;
  };
  void MakeReadyPages();  // with the lock held

  std::mutex lock_;
  std::condition_variable made_;
  TSurfaceFileMaker maker_;
  // Surface files already wanted in this run (number ":" ghost name).
  std::unordered_set<std::string> checked_;
  std::map<int64_t, Pending> pending_;
  int64_t next_ = 0;     // the page whose pictures come next
  int64_t allowed_ = 0;  // the last page whose pictures may be made
  bool stopped_ = false;
  int64_t errorPage_ = -1;
  std::exception_ptr error_;
};

}  // namespace hollowmere
