// Thin RAII over the SQLite C interface: a connection, prepared statements
// with bound parameters only, and a write transaction that rolls back unless
// committed. Every failure raises EArchiveError naming the archive file.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/ArchiveStore.h"

namespace hollowmere::sqlite {

class TDb {
 public:
  TDb(const std::string& path, int flags);
  ~TDb();
  TDb(const TDb&) = delete;
  TDb& operator=(const TDb&) = delete;

  sqlite3* Handle() const { return db_; }
  const std::string& Path() const { return path_; }
  void Exec(const char* sql);
  [[noreturn]] void Fail(int rc, std::string_view doing) const;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

class TStmt {
 public:
  TStmt(TDb& db, std::string_view sql);
  ~TStmt();
  TStmt(const TStmt&) = delete;
  TStmt& operator=(const TStmt&) = delete;

  // Resets the statement for a new run; bound texts must outlive the run.
  TStmt& Reset();
  TStmt& Bind(int i, int64_t v);
  TStmt& Bind(int i, std::string_view blob);
  TStmt& BindNull(int i);
  // True while there is a row.
  bool Step();
  // Steps a statement that yields no row.
  void Run();

  int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  std::string_view View(int col) const;
  std::string Text(int col) const { return std::string(View(col)); }

 private:
  TDb& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock is taken at once (waiting up to the busy
// time-out), so two writers never deadlock half-way.
class TWriteTransaction {
 public:
  explicit TWriteTransaction(TDb& db);
  ~TWriteTransaction();
  TWriteTransaction(const TWriteTransaction&) = delete;
  TWriteTransaction& operator=(const TWriteTransaction&) = delete;
  void Commit();

 private:
  TDb& db_;
  bool open_ = true;
};

// A deferred transaction that only reads: everything read inside it comes
// from one snapshot of the file, whatever another connection commits.
class TReadTransaction {
 public:
  explicit TReadTransaction(TDb& db);
  ~TReadTransaction();
  TReadTransaction(const TReadTransaction&) = delete;
  TReadTransaction& operator=(const TReadTransaction&) = delete;

 private:
  TDb& db_;
};

}  // namespace hollowmere::sqlite
