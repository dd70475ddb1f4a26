// The archive on SQLite: one file, WAL journal, a busy time-out so that the
// window and a batch run can merge at the same time, the schema version in
// PRAGMA user_version and our mark in PRAGMA application_id. A file that is
// not our archive (other bytes, another schema, a newer version) is refused
// with a message naming it and is never written to.
#pragma once

#include <memory>
#include <string>

#include "archive/ArchiveStore.h"

namespace hollowmere {

inline constexpr int kArchiveSchemaVersion = 1;
inline constexpr int kArchiveApplicationId = 0x486d4172;  // "HmAr"

struct TSqliteArchiveOptions {
  int BusyTimeoutMs = 15000;
  // Messages merged between two writes of the pending index entries.
  std::size_t IndexFlushEvery = 250000;
};

// Opens (creating it, mode 0600, when missing) the archive at a native path.
// Raises EArchiveError when the file cannot be made or opened or is not ours.
std::unique_ptr<IArchiveStore> OpenSqliteArchive(const std::string& path,
                                                 const TSqliteArchiveOptions& options = {});

}  // namespace hollowmere
