// SQLite wrapper. Messages are for the user: the file, what was being done
// and SQLite's own words.
#include "archive/SqliteDb.h"

#include "platform/FileSystem.h"

namespace hollowmere::sqlite {

TDb::TDb(const std::string& path, int flags) : path_(path) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw EArchiveError("archive " + ProgramPath(path) + ": cannot open: " + why);
  }
  sqlite3_extended_result_codes(db_, 1);
}

TDb::~TDb() { sqlite3_close_v2(db_); }

void TDb::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, sql);
}

void TDb::Fail(int rc, std::string_view doing) const {
  std::string why = sqlite3_errmsg(db_);
  if (why.empty() || why == "not an error") why = sqlite3_errstr(rc);
  (void)doing;
  throw EArchiveError("archive " + ProgramPath(path_) + ": " + why);
}

TStmt::TStmt(TDb& db, std::string_view sql) : db_(db) {
  const int rc = sqlite3_prepare_v3(db.Handle(), sql.data(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc, sql);
}

TStmt::~TStmt() { sqlite3_finalize(stmt_); }

TStmt& TStmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  return *this;
}

TStmt& TStmt::Bind(int i, int64_t v) {
  sqlite3_bind_int64(stmt_, i, v);
  return *this;
}

TStmt& TStmt::Bind(int i, std::string_view blob) {
  // A zero-length blob, never NULL, so that empty fields compare equal.
  sqlite3_bind_blob64(stmt_, i, blob.empty() ? "" : blob.data(), blob.size(), SQLITE_STATIC);
  return *this;
}

TStmt& TStmt::BindNull(int i) {
  sqlite3_bind_null(stmt_, i);
  return *this;
}

bool TStmt::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  db_.Fail(rc, sqlite3_sql(stmt_));
}

void TStmt::Run() {
  Step();
  sqlite3_reset(stmt_);
}

std::string_view TStmt::View(int col) const {
  const void* p = sqlite3_column_blob(stmt_, col);
  const int n = sqlite3_column_bytes(stmt_, col);
  return p ? std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string_view();
}

TWriteTransaction::TWriteTransaction(TDb& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

TWriteTransaction::~TWriteTransaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TWriteTransaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

TReadTransaction::TReadTransaction(TDb& db) : db_(db) { db_.Exec("BEGIN"); }

TReadTransaction::~TReadTransaction() { sqlite3_exec(db_.Handle(), "COMMIT", nullptr, nullptr, nullptr); }

}  // namespace hollowmere::sqlite
