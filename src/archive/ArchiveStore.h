// The archive as the rest of the program sees it: a store of every message
// line ever fetched, merged one log text at a time and searched. Nothing here
// names a database; SQLite is one implementation (SqliteArchive.h), and a
// shared server could be another.
//
// Merge rules: a message is kept under its key (ArchiveKey). A key not yet
// kept is new. A kept one takes the merged line's counts; if its time stamp,
// channel, ghost, script or trailing fields differ, the merged line becomes
// current and the line it replaces is kept as a revision. Nothing is ever
// deleted, and one merge is one transaction: all of it or none.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveLine.h"
#include "archive/SearchQuery.h"
#include "text/Error.h"

namespace hollowmere {

// Every archive failure; the message (CP932, like every error) names the
// file and says what happened.
class EArchiveError : public Error {
 public:
  using Error::Error;
};

// One line ready to merge: the key and the folded visible text are made by
// the caller (ArchiveMerge.h), so every store indexes the same text.
struct TArchiveEntry {
  TArchiveLine Line;
  std::string Key;
  std::string Folded;
  int64_t Posted = 0;  // StampSeconds(Line.Stamp)
};

// Entries handed to a merge one at a time, so that a large fetch is never
// held whole in memory.
class IArchiveEntries {
 public:
  virtual ~IArchiveEntries() = default;
  virtual std::size_t Size() const = 0;
  // The next entry; false after the last.
  virtual bool Next(TArchiveEntry& entry) = 0;
};

class TVectorEntries : public IArchiveEntries {
 public:
  explicit TVectorEntries(const std::vector<TArchiveEntry>& entries) : entries_(entries) {}
  std::size_t Size() const override { return entries_.size(); }
  bool Next(TArchiveEntry& entry) override {
    if (next_ == entries_.size()) return false;
    entry = entries_[next_++];
    return true;
  }

 private:
  const std::vector<TArchiveEntry>& entries_;
  std::size_t next_ = 0;
};

struct TMergeCounts {
  std::size_t New = 0;
  std::size_t Changed = 0;
  std::size_t Unchanged = 0;
  bool operator==(const TMergeCounts&) const = default;
};

struct TArchiveHit {
  int64_t Id = 0;
  TArchiveLine Line;
};

struct TArchiveStats {
  uint64_t Messages = 0;
  uint64_t Revisions = 0;
  uint64_t Ghosts = 0;
  uint64_t Channels = 0;
  std::string FirstStamp;  // empty when there is no message
  std::string LastStamp;
  uint64_t FileBytes = 0;
};

// done, total
using TMergeProgress = std::function<void(std::size_t, std::size_t)>;

class IArchiveStore {
 public:
  virtual ~IArchiveStore() = default;
  // The file or place the store lives in, for messages.
  virtual std::string Where() const = 0;
  // Merges all entries in one transaction; `seenAt` is the wall time of
  // the fetch. Raises EArchiveError, and then nothing of the merge is kept.
  virtual TMergeCounts Merge(IArchiveEntries& entries, int64_t seenAt,
                             const TMergeProgress& progress = {}) = 0;
  // The first `limit` matches, newest first (posting time, then arrival).
  virtual std::vector<TArchiveHit> Search(const TSearchQuery& query, std::size_t limit) = 0;
  virtual uint64_t Count(const TSearchQuery& query) = 0;
  // Every kept line the filter lets through, oldest first, one at a time so
  // an export of any size holds one line. `before` learns how many lines
  // follow; both see one snapshot, so a merge meanwhile cannot skew them.
  virtual void Export(const TArchiveFilter& filter, const std::function<void(const TArchiveLine&)>& each,
                      const std::function<void(uint64_t lines)>& before = {}) = 0;
  // The revisions a message has had, oldest first.
  virtual std::vector<TArchiveLine> Revisions(int64_t id) = 0;
  virtual TArchiveStats Stats() = 0;
  // The ghost and channel names of the kept messages, in byte order, for
  // choosers that offer only what a search can find.
  virtual std::vector<std::string> Ghosts() = 0;
  virtual std::vector<std::string> Channels() = 0;
  // The problems found in the store and in its index; empty when sound.
  virtual std::vector<std::string> Check() = 0;
};

}  // namespace hollowmere
