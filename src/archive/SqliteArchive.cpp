// The SQLite archive. Messages are rows keyed by ArchiveKey; ghosts and
// channels are stored once each. The search index is a table of posting
// lists (GramIndex.h) in segments; the folded texts they are checked against
// sit in a narrow table of their own, so checking many candidates reads
// little: a merge appends to a gram's last segment
// while it is small, else starts a new one, so a merge writes in proportion
// to what it adds. A message whose folded text changed keeps its old grams
// too; it is listed in `stale` and always checked against its text, which
// keeps every answer exact without ever deleting from the index.
#include "archive/SqliteArchive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "archive/GramIndex.h"
#include "archive/SqliteDb.h"
#include "platform/FileSystem.h"

namespace hollowmere {
namespace {

using sqlite::TDb;
using sqlite::TStmt;
using sqlite::TWriteTransaction;
using sqlite::TReadTransaction;

// A gram's last segment takes appends until it reaches this size.
constexpr std::size_t kSegmentAppendBelow = 4096;

const char* const kSchemaV1 = R"(
CREATE TABLE ghosts(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE);
CREATE TABLE channels(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE);
CREATE TABLE messages(
  id INTEGER PRIMARY KEY,
  key BLOB NOT NULL UNIQUE,
  posted INTEGER NOT NULL,
  ghost INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  stamp BLOB NOT NULL,
  connection BLOB NOT NULL,
  vote BLOB NOT NULL,
  agree BLOB NOT NULL,
  script BLOB NOT NULL,
  rest BLOB NOT NULL);
CREATE TABLE texts(id INTEGER PRIMARY KEY, folded TEXT NOT NULL);
CREATE INDEX messages_posted ON messages(posted);
CREATE INDEX messages_ghost ON messages(ghost, posted);
CREATE INDEX messages_channel ON messages(channel, posted);
CREATE TABLE sightings(id INTEGER PRIMARY KEY, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL);
CREATE TABLE revisions(
  id INTEGER PRIMARY KEY,
  message INTEGER NOT NULL,
  replaced INTEGER NOT NULL,
  ghost INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  stamp BLOB NOT NULL,
  connection BLOB NOT NULL,
  vote BLOB NOT NULL,
  agree BLOB NOT NULL,
  script BLOB NOT NULL,
  rest BLOB NOT NULL);
CREATE INDEX revisions_message ON revisions(message);
CREATE TABLE postings(gram INTEGER NOT NULL, seg INTEGER NOT NULL, ids BLOB NOT NULL,
  PRIMARY KEY(gram, seg)) WITHOUT ROWID;
CREATE TABLE stale(id INTEGER PRIMARY KEY);
)";

// Schema steps: entry v-1 brings version v-1 to v. All pending steps run in
// one transaction with the version change.
const char* const kMigrations[] = {kSchemaV1};
static_assert(std::size(kMigrations) == kArchiveSchemaVersion);

const char* const kLineColumns =
    "m.stamp, m.key, c.name, g.name, m.connection, m.vote, m.agree, m.script, m.rest";
const char* const kLineJoins =
    " FROM messages m JOIN ghosts g ON g.id = m.ghost JOIN channels c ON c.id = m.channel";
const char* const kFilterIds = "SELECT m.id FROM messages m";

TArchiveLine LineAt(const TStmt& s, int col) {
  TArchiveLine line;
  line.Stamp = s.Text(col);
  const std::string_view key = s.View(col + 1);
  if (!key.empty() && key[0] == 'M') line.Mid = std::string(key.substr(1));
  line.Channel = s.Text(col + 2);
  line.Ghost = s.Text(col + 3);
  line.Connection = s.Text(col + 4);
  line.Vote = s.Text(col + 5);
  line.Agree = s.Text(col + 6);
  line.Script = s.Text(col + 7);
  line.Rest = s.Text(col + 8);
  return line;
}

uint64_t Mix(int64_t gram, int64_t id) {
  uint64_t z = static_cast<uint64_t>(gram) * 0x9E3779B97F4A7C15ULL ^ static_cast<uint64_t>(id);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Index entries a merge has made and not yet written: per gram, its ids in
// ascending order already encoded as a posting list (the first id apart, so
// the list can be joined to a segment's end), and the few ids that arrive
// out of order (messages changed by this merge) on the side.
struct TPendingList {
  TGram Gram = -1;  // -1: a free slot
  int64_t First = 0;
  int64_t Last = 0;
  std::string Rest;  // the deltas after First
};

// An open-addressed table: a merge adds every gram of every message here, so
// this is the import's hottest map.
class TPendingPostings {
 public:
  TPendingPostings() : slots_(1024) {}
  void Add(TGram g, int64_t id) {
    TPendingList& p = Find(g);
    if (p.First == 0) {
      p.First = p.Last = id;
    } else if (id > p.Last) {
      AppendPosting(p.Rest, p.Last, id);
    } else if (id != p.Last) {
      stray_.emplace_back(g, id);
    }
  }
  bool Empty() const { return used_ == 0 && stray_.empty(); }
  // The lists in ascending gram order.
  std::vector<const TPendingList*> Sorted() const {
    std::vector<const TPendingList*> lists;
    lists.reserve(used_);
    for (const auto& s : slots_) {
      if (s.Gram >= 0) lists.push_back(&s);
    }
    std::sort(lists.begin(), lists.end(), [](auto* a, auto* b) { return a->Gram < b->Gram; });
    return lists;
  }
  std::vector<std::pair<TGram, int64_t>>& Stray() { return stray_; }
  void Clear() {
    slots_.assign(slots_.size(), TPendingList());
    used_ = 0;
    stray_.clear();
  }

 private:
  TPendingList& Find(TGram g) {
    std::size_t mask = slots_.size() - 1;
    std::size_t i = Hash(g) & mask;
    while (slots_[i].Gram != g) {
      if (slots_[i].Gram < 0) {
        if (2 * (used_ + 1) > slots_.size()) {
          Grow();
          return Find(g);
        }
        slots_[i].Gram = g;
        ++used_;
        break;
      }
      i = (i + 1) & mask;
    }
    return slots_[i];
  }
  static std::size_t Hash(TGram g) {
    return static_cast<std::size_t>((static_cast<uint64_t>(g) * 0x9E3779B97F4A7C15ULL) >> 20);
  }
  void Grow() {
    std::vector<TPendingList> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (auto& s : old) {
      if (s.Gram < 0) continue;
      std::size_t i = Hash(s.Gram) & mask;
      while (slots_[i].Gram >= 0) i = (i + 1) & mask;
      slots_[i] = std::move(s);
    }
  }

  std::vector<TPendingList> slots_;
  std::size_t used_ = 0;
  std::vector<std::pair<TGram, int64_t>> stray_;
};

// The rows a merge adds beside each new message (its folded text and its
// first sighting), written many to a statement: on a large import one
// statement per row costs more than the rows. Flush() before anything reads
// or rewrites those rows.
class TNewRows {
 public:
  TNewRows(TDb& db, int64_t seenAt)
      : seenAt_(seenAt),
        textOne_(db, "INSERT INTO texts(id, folded) VALUES(?1, ?2)"),
        sightOne_(db, "INSERT INTO sightings(id, first_seen, last_seen) VALUES(?1, ?2, ?2)"),
        textMany_(db, Values("INSERT INTO texts(id, folded) VALUES", [](int r) {
                    return "(?" + std::to_string(2 * r + 1) + ", ?" + std::to_string(2 * r + 2) + ")";
                  })),
        sightMany_(db, Values("INSERT INTO sightings(id, first_seen, last_seen) VALUES", [](int r) {
                     const std::string at = "?" + std::to_string(kRows + 1);
                     return "(?" + std::to_string(r + 1) + ", " + at + ", " + at + ")";
                   })) {}

  void Add(int64_t id, const std::string& folded) {
    ids_[n_] = id;
    texts_[n_].assign(folded);
    if (++n_ < kRows) return;
    textMany_.Reset();
    sightMany_.Reset().Bind(kRows + 1, seenAt_);
    for (int r = 0; r < kRows; ++r) {
      textMany_.Bind(2 * r + 1, ids_[r]).Bind(2 * r + 2, texts_[r]);
      sightMany_.Bind(r + 1, ids_[r]);
    }
    textMany_.Run();
    sightMany_.Run();
    n_ = 0;
  }

  void Flush() {
    for (int r = 0; r < n_; ++r) {
      textOne_.Reset().Bind(1, ids_[r]).Bind(2, texts_[r]).Run();
      sightOne_.Reset().Bind(1, ids_[r]).Bind(2, seenAt_).Run();
    }
    n_ = 0;
  }

 private:
  static constexpr int kRows = 64;
  template <typename F>
  static std::string Values(std::string sql, F row) {
    for (int r = 0; r < kRows; ++r) sql += (r ? ", " : " ") + row(r);
    return sql;
  }

  int64_t seenAt_;
  TStmt textOne_, sightOne_, textMany_, sightMany_;
  int64_t ids_[kRows] = {};
  std::string texts_[kRows];
  int n_ = 0;
};

// A set of message ids as bits.
class TIdSet {
 public:
  explicit TIdSet(int64_t maxId) : bits_(static_cast<std::size_t>(maxId / 64 + 1)) {}
  void Add(int64_t id) {
    if (id > 0 && static_cast<std::size_t>(id / 64) < bits_.size()) bits_[id / 64] |= 1ULL << (id % 64);
  }
  bool Has(int64_t id) const {
    return id > 0 && static_cast<std::size_t>(id / 64) < bits_.size() && (bits_[id / 64] >> (id % 64) & 1);
  }
  void And(const TIdSet& o) {
    for (std::size_t i = 0; i < bits_.size(); ++i) bits_[i] &= o.bits_[i];
  }
  uint64_t Size() const {
    uint64_t n = 0;
    for (uint64_t w : bits_) n += static_cast<uint64_t>(__builtin_popcountll(w));
    return n;
  }
  template <typename F>
  void ForEach(F f) const {
    for (std::size_t i = 0; i < bits_.size(); ++i) {
      for (uint64_t w = bits_[i]; w; w &= w - 1) f(static_cast<int64_t>(i * 64 + __builtin_ctzll(w)));
    }
  }

 private:
  std::vector<uint64_t> bits_;
};

// Keys a merge has added, as a Bloom filter: Insert says true only for a
// key surely not added before. Two bits of sixteen per key keep false
// alarms (which only cost a look-up) near one in a hundred.
class TKeyFilter {
 public:
  explicit TKeyFilter(std::size_t keys) {
    std::size_t bits = 1 << 16;
    while (bits < keys * 16) bits *= 2;
    bits_.resize(bits / 64);
  }
  bool Insert(std::string_view key) {
    const uint64_t h = Mix(static_cast<int64_t>(std::hash<std::string_view>()(key)), 0);
    const std::size_t mask = bits_.size() * 64 - 1;
    const std::size_t a = h & mask, b = (h >> 32) & mask;
    const bool had = (bits_[a / 64] >> (a % 64) & 1) && (bits_[b / 64] >> (b % 64) & 1);
    bits_[a / 64] |= 1ULL << (a % 64);
    bits_[b / 64] |= 1ULL << (b % 64);
    return !had;
  }

 private:
  std::vector<uint64_t> bits_;
};

void CheckFileLooksLikeSqlite(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  char head[16] = {};
  in.read(head, sizeof head);
  const std::streamsize got = in.gcount();
  if (got == 0) return;  // an empty file is a new archive
  if (got < 16 || std::memcmp(head, "SQLite format 3", 16) != 0) {
    throw EArchiveError("archive " + ProgramPath(path) + ": this file is not a Hollowmere archive; it is left as it is");
  }
}

// Makes the file, readable by its owner only, when it is not there yet.
void CreateOwnerOnly(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return;
  }
  if (errno == EEXIST) return;
  throw EArchiveError("archive " + ProgramPath(path) + ": cannot create: " + std::strerror(errno));
}

// A message row's columns after its key or id (?2 to ?10), in the order the
// insert and the replace name them.
TStmt& BindLine(TStmt& s, int64_t posted, int64_t ghost, int64_t channel, const TArchiveLine& l) {
  return s.Bind(2, posted)
      .Bind(3, ghost)
      .Bind(4, channel)
      .Bind(5, l.Stamp)
      .Bind(6, l.Connection)
      .Bind(7, l.Vote)
      .Bind(8, l.Agree)
      .Bind(9, l.Script)
      .Bind(10, l.Rest);
}

class TSqliteArchive : public IArchiveStore {
 public:
  TSqliteArchive(const std::string& path, const TSqliteArchiveOptions& options)
      : options_(options), db_(Open(path)) {
    sqlite3_busy_timeout(db_.Handle(), options.BusyTimeoutMs);
    Accept();
    db_.Exec("PRAGMA synchronous=NORMAL; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-262144; PRAGMA mmap_size=1073741824");
  }

  std::string Where() const override { return db_.Path(); }

  TMergeCounts Merge(IArchiveEntries& entries, int64_t seenAt,
                     const TMergeProgress& progress) override;
  std::vector<TArchiveHit> Search(const TSearchQuery& query, std::size_t limit) override;
  uint64_t Count(const TSearchQuery& query) override;
  void Export(const TArchiveFilter& filter, const std::function<void(const TArchiveLine&)>& each,
              const std::function<void(uint64_t)>& before) override;
  std::vector<TArchiveLine> Revisions(int64_t id) override;
  TArchiveStats Stats() override;
  std::vector<std::string> Ghosts() override { return Names("ghosts", "ghost"); }
  std::vector<std::string> Channels() override { return Names("channels", "channel"); }
  std::vector<std::string> Check() override;

 private:
  static TDb Open(const std::string& path) {
    CheckFileLooksLikeSqlite(path);
    CreateOwnerOnly(path);
    return TDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  }

  // Names of a table that some current message refers to through `column`.
  std::vector<std::string> Names(const std::string& table, const std::string& column) {
    TStmt s(db_, "SELECT name FROM " + table + " WHERE id IN (SELECT DISTINCT " + column +
                     " FROM messages) ORDER BY name");
    std::vector<std::string> names;
    while (s.Step()) names.push_back(s.Text(0));
    return names;
  }

  int64_t Pragma(const char* name) {
    TStmt s(db_, std::string("PRAGMA ") + name);
    return s.Step() ? s.Int(0) : 0;
  }

  // Refuses what is not ours before anything is written, then brings the
  // schema up to date.
  void Accept() {
    // Larger pages mean fewer pages to write twice (the WAL, then the
    // file) on a big import; the size can only be chosen before the WAL.
    if (Refuse()) db_.Exec("PRAGMA page_size=8192");
    db_.Exec("PRAGMA journal_mode=WAL");
    TWriteTransaction tx(db_);
    Refuse();  // another process may have changed it meanwhile
    const int64_t version = Pragma("user_version");
    for (int64_t v = version; v < kArchiveSchemaVersion; ++v) db_.Exec(kMigrations[v]);
    if (version < kArchiveSchemaVersion) {
      db_.Exec(("PRAGMA application_id=" + std::to_string(kArchiveApplicationId) +
                "; PRAGMA user_version=" + std::to_string(kArchiveSchemaVersion))
                   .c_str());
    }
    tx.Commit();
  }

  // True for a blank file.
  bool Refuse() {
    const int64_t app = Pragma("application_id");
    const int64_t version = Pragma("user_version");
    TStmt objects(db_, "SELECT count(*) FROM sqlite_master");
    objects.Step();
    const bool blank = app == 0 && version == 0 && objects.Int(0) == 0;
    if (blank) return true;
    if (app != kArchiveApplicationId) {
      throw EArchiveError("archive " + ProgramPath(db_.Path()) +
                          ": this database is not a Hollowmere archive; it is left as it is");
    }
    if (version > kArchiveSchemaVersion) {
      throw EArchiveError("archive " + ProgramPath(db_.Path()) + ": made by a newer Hollowmere (archive version " +
                          std::to_string(version) + "); it is left as it is");
    }
    return false;
  }

  int64_t MaxId() {
    TStmt s(db_, "SELECT coalesce(max(id), 0) FROM messages");
    s.Step();
    return s.Int(0);
  }

  std::optional<int64_t> NameId(const char* table, const std::string& name) {
    TStmt s(db_, std::string("SELECT id FROM ") + table + " WHERE name = ?1");
    s.Bind(1, name);
    if (s.Step()) return s.Int(0);
    return std::nullopt;
  }

  std::unordered_set<int64_t> StaleIds() {
    std::unordered_set<int64_t> ids;
    TStmt s(db_, "SELECT id FROM stale");
    while (s.Step()) ids.insert(s.Int(0));
    return ids;
  }

  TIdSet GramIds(TGram gram, int64_t maxId) {
    if (!postings_) postings_ = std::make_unique<TStmt>(db_, "SELECT ids FROM postings WHERE gram = ?1");
    postings_->Reset().Bind(1, gram);
    TIdSet set(maxId);
    std::vector<int64_t> ids;
    while (postings_->Step()) {
      ids.clear();
      DecodePostings(postings_->View(0), ids);
      for (int64_t id : ids) set.Add(id);
    }
    postings_->Reset();
    return set;
  }

  // Messages holding every gram of every included term (a superset of the
  // matches); nullopt when the query has no included term.
  std::optional<TIdSet> Candidates(const TSearchQuery& q, int64_t maxId) {
    std::optional<TIdSet> result;
    for (const auto& term : q.Include) {
      for (TGram g : TermGrams(term)) {
        TIdSet ids = GramIds(g, maxId);
        if (result) {
          result->And(ids);
        } else {
          result = std::move(ids);
        }
      }
    }
    return result;
  }

  struct TFilterIds {
    bool Impossible = false;  // names a ghost or channel never seen
    std::optional<int64_t> Ghost, Channel;
    int64_t Since = std::numeric_limits<int64_t>::min();
    int64_t Until = std::numeric_limits<int64_t>::max();
  };

  TFilterIds ResolveFilter(const TArchiveFilter& f) {
    TFilterIds r;
    if (f.Ghost) {
      r.Ghost = NameId("ghosts", *f.Ghost);
      r.Impossible |= !r.Ghost;
    }
    if (f.Channel) {
      r.Channel = NameId("channels", *f.Channel);
      r.Impossible |= !r.Channel;
    }
    if (f.Since) r.Since = *f.Since;
    if (f.Until) r.Until = *f.Until;
    return r;
  }

  // `select` (over "messages m") of the messages the filter lets through,
  // in `order`.
  std::unique_ptr<TStmt> FilterWalk(const TFilterIds& f, std::string_view select, std::string_view order) {
    std::string sql(select);
    sql += " WHERE m.posted >= ?1 AND m.posted < ?2";
    if (f.Ghost) sql += " AND m.ghost = ?3";
    if (f.Channel) sql += " AND m.channel = ?4";
    sql += order;
    auto s = std::make_unique<TStmt>(db_, sql);
    s->Bind(1, f.Since).Bind(2, f.Until);
    if (f.Ghost) s->Bind(3, *f.Ghost);
    if (f.Channel) s->Bind(4, *f.Channel);
    return s;
  }

  // Judges one message by its row: the filter, then the terms when the
  // index alone cannot vouch for them. Posted time through `posted`.
  class TJudge {
   public:
    TJudge(TDb& db, const TSearchQuery& q, const TFilterIds& f, std::unordered_set<int64_t> stale)
        : meta_(db, "SELECT posted, ghost, channel FROM messages WHERE id = ?1"),
          text_(db, "SELECT folded FROM texts WHERE id = ?1"),
          q_(q), f_(f), stale_(std::move(stale)) {
      for (const auto& t : q.Include) longTerms_ |= CharCount(t) > 2;
    }
    // True when the terms need the texts of more than the changed messages.
    bool ReadsTexts() const { return longTerms_ || !q_.Exclude.empty(); }
    // True when the index answers for the terms of this message by itself.
    bool IndexVouches(int64_t id) const {
      return !longTerms_ && q_.Exclude.empty() && !stale_.count(id);
    }
    // The filter (unless the caller's walk applied it already, or nobody
    // needs the posting time), then the terms where the index cannot vouch.
    bool Passes(int64_t id, bool filterKnown, bool wantPosted, int64_t& posted) {
      if (!filterKnown || wantPosted) {
        meta_.Reset().Bind(1, id);
        if (!meta_.Step()) return false;
        posted = meta_.Int(0);
        if (!filterKnown) {
          if (posted < f_.Since || posted >= f_.Until) return false;
          if (f_.Ghost && meta_.Int(1) != *f_.Ghost) return false;
          if (f_.Channel && meta_.Int(2) != *f_.Channel) return false;
        }
      }
      if (IndexVouches(id)) return true;
      text_.Reset().Bind(1, id);
      return text_.Step() && MatchesTerms(q_, text_.View(0));
    }

   private:
    TStmt meta_;
    TStmt text_;
    const TSearchQuery& q_;
    const TFilterIds& f_;
    std::unordered_set<int64_t> stale_;
    bool longTerms_ = false;
  };

  TArchiveLine LineById(int64_t id) {
    if (!lineById_) {
      lineById_ = std::make_unique<TStmt>(
          db_, std::string("SELECT ") + kLineColumns + kLineJoins + " WHERE m.id = ?1");
    }
    lineById_->Reset().Bind(1, id);
    TArchiveLine line;
    if (lineById_->Step()) line = LineAt(*lineById_, 0);
    lineById_->Reset();
    return line;
  }

  void FlushPostings(TPendingPostings& pending);
  int64_t InternName(const char* table, std::unordered_map<std::string, int64_t>& cache,
                     const std::string& name);

  TSqliteArchiveOptions options_;
  TDb db_;
  std::unique_ptr<TStmt> postings_;
  std::unique_ptr<TStmt> lineById_;
};

int64_t TSqliteArchive::InternName(const char* table, std::unordered_map<std::string, int64_t>& cache,
                                   const std::string& name) {
  if (const auto it = cache.find(name); it != cache.end()) return it->second;
  int64_t id;
  if (const auto found = NameId(table, name)) {
    id = *found;
  } else {
    TStmt ins(db_, std::string("INSERT INTO ") + table + "(name) VALUES(?1)");
    ins.Bind(1, name).Run();
    id = sqlite3_last_insert_rowid(db_.Handle());
  }
  cache.emplace(name, id);
  return id;
}

TMergeCounts TSqliteArchive::Merge(IArchiveEntries& entries, int64_t seenAt,
                                   const TMergeProgress& progress) {
  TWriteTransaction tx(db_);
  TStmt find(db_,
             "SELECT id, ghost, channel, stamp, connection, vote, agree, script, rest "
             "FROM messages WHERE key = ?1");
  TStmt folded(db_, "SELECT folded FROM texts WHERE id = ?1");
  TStmt setText(db_, "INSERT OR REPLACE INTO texts(id, folded) VALUES(?1, ?2)");
  TStmt insert(db_,
               "INSERT INTO messages(key, posted, ghost, channel, stamp, connection, vote, agree, "
               "script, rest) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  TNewRows newRows(db_, seenAt);
  TStmt sight(db_, "UPDATE sightings SET last_seen = max(last_seen, ?2) WHERE id = ?1");
  TStmt counts(db_, "UPDATE messages SET connection = ?2, vote = ?3, agree = ?4 WHERE id = ?1");
  TStmt revise(db_,
               "INSERT INTO revisions(message, replaced, ghost, channel, stamp, connection, vote, "
               "agree, script, rest) SELECT id, ?2, ghost, channel, stamp, connection, vote, agree, "
               "script, rest FROM messages WHERE id = ?1");
  TStmt replace(db_,
                "UPDATE messages SET posted = ?2, ghost = ?3, channel = ?4, stamp = ?5, "
                "connection = ?6, vote = ?7, agree = ?8, script = ?9, rest = ?10 WHERE id = ?1");
  TStmt markStale(db_, "INSERT OR IGNORE INTO stale(id) VALUES(?1)");

  std::unordered_map<std::string, int64_t> ghosts, channels;
  // Into an empty archive, a key this merge has not added yet is surely
  // new, so the look-up is only needed for the hashes seen before.
  const bool fresh = MaxId() == 0;
  TKeyFilter added(fresh ? entries.Size() : 0);
  TPendingPostings pending;
  TMergeCounts result;
  const auto addGrams = [&](int64_t id, const std::string& folded) {
    ForEachGram(folded, [&](TGram g) { pending.Add(g, id); });
  };

  const std::size_t total = entries.Size();
  TArchiveEntry e;
  for (std::size_t i = 0; entries.Next(e); ++i) {
    const TArchiveLine& l = e.Line;
    const int64_t ghost = InternName("ghosts", ghosts, l.Ghost);
    const int64_t channel = InternName("channels", channels, l.Channel);
    const bool surelyNew = fresh && added.Insert(e.Key);
    find.Reset();
    if (surelyNew || !find.Bind(1, e.Key).Step()) {
      BindLine(insert.Reset().Bind(1, e.Key), e.Posted, ghost, channel, l).Run();
      const int64_t id = sqlite3_last_insert_rowid(db_.Handle());
      newRows.Add(id, e.Folded);
      addGrams(id, e.Folded);
      ++result.New;
    } else {
      const int64_t id = find.Int(0);
      const bool contentSame = find.Int(1) == ghost && find.Int(2) == channel && find.View(3) == l.Stamp &&
                               find.View(7) == l.Script && find.View(8) == l.Rest;
      const bool countsSame =
          find.View(4) == l.Connection && find.View(5) == l.Vote && find.View(6) == l.Agree;
      find.Reset();
      newRows.Flush();  // the message may be one this merge has just added
      if (!contentSame) {
        revise.Reset().Bind(1, id).Bind(2, seenAt).Run();
        BindLine(replace.Reset().Bind(1, id), e.Posted, ghost, channel, l).Run();
        folded.Reset().Bind(1, id);
        const bool foldedSame = folded.Step() && folded.View(0) == e.Folded;
        folded.Reset();
        if (!foldedSame) {
          setText.Reset().Bind(1, id).Bind(2, e.Folded).Run();
          markStale.Reset().Bind(1, id).Run();
          addGrams(id, e.Folded);
        }
      } else if (!countsSame) {
        counts.Reset().Bind(1, id).Bind(2, l.Connection).Bind(3, l.Vote).Bind(4, l.Agree).Run();
      }
      sight.Reset().Bind(1, id).Bind(2, seenAt).Run();
      ++(contentSame && countsSame ? result.Unchanged : result.Changed);
    }
    find.Reset();
    if ((i + 1) % options_.IndexFlushEvery == 0) FlushPostings(pending);
    if (progress && ((i + 1) % 1024 == 0 || i + 1 == total)) progress(i + 1, total);
  }
  newRows.Flush();
  FlushPostings(pending);
  tx.Commit();
  return result;
}

void TSqliteArchive::FlushPostings(TPendingPostings& pending) {
  // Stray ids become lists of their own, written as new segments.
  std::map<TGram, std::vector<int64_t>> stray;
  for (const auto& [g, id] : pending.Stray()) stray[g].push_back(id);
  TStmt last(db_, "SELECT seg, ids FROM postings WHERE gram = ?1 ORDER BY seg DESC LIMIT 1");
  TStmt update(db_, "UPDATE postings SET ids = ?3 WHERE gram = ?1 AND seg = ?2");
  TStmt insert(db_, "INSERT INTO postings(gram, seg, ids) VALUES(?1, ?2, ?3)");
  std::vector<int64_t> old;
  std::string list;
  // Appends the ascending ids first, rest... to the gram's last segment
  // while it is small and ends below them, else writes a new segment.
  const auto write = [&](TGram g, int64_t first, std::string_view rest) {
    list.clear();
    int64_t lastId = 0;
    int64_t seg = 0;
    bool append = false;
    last.Reset().Bind(1, g);
    if (last.Step()) {
      seg = last.Int(0);
      const std::string_view blob = last.View(1);
      if (blob.size() < kSegmentAppendBelow) {
        old.clear();
        const int64_t end = DecodePostings(blob, old);
        if (first > end) {
          append = true;
          list.assign(blob);
          lastId = end;
        }
      }
      if (!append) ++seg;
    }
    last.Reset();
    AppendPosting(list, lastId, first);
    list += rest;
    TStmt& w = append ? update : insert;
    w.Reset().Bind(1, g).Bind(2, seg).Bind(3, list).Run();
  };
  for (const TPendingList* p : pending.Sorted()) write(p->Gram, p->First, p->Rest);
  std::string rest;
  for (auto& [g, ids] : stray) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    rest.clear();
    int64_t prev = ids.front();
    for (std::size_t k = 1; k < ids.size(); ++k) AppendPosting(rest, prev, ids[k]);
    write(g, ids.front(), rest);
  }
  pending.Clear();
}

std::vector<TArchiveHit> TSqliteArchive::Search(const TSearchQuery& q, std::size_t limit) {
  std::vector<TArchiveHit> hits;
  const TFilterIds f = ResolveFilter(q.Filter);
  if (f.Impossible || limit == 0) return hits;
  const int64_t maxId = MaxId();
  const std::optional<TIdSet> cand = Candidates(q, maxId);
  TJudge judge(db_, q, f, StaleIds());
  std::vector<std::pair<int64_t, int64_t>> found;  // posted, id
  const uint64_t n = cand ? cand->Size() : 0;
  // Looking each candidate up costs n rows; walking the time index costs
  // about limit * all / n rows before `limit` hits turn up.
  if (cand && n * n <= static_cast<uint64_t>(limit) * static_cast<uint64_t>(maxId)) {
    cand->ForEach([&](int64_t id) {
      int64_t posted;
      if (judge.Passes(id, false, true, posted)) found.emplace_back(posted, id);
    });
    std::sort(found.begin(), found.end(), std::greater<>());
    if (found.size() > limit) found.resize(limit);
  } else {
    // Newest first, read from an index alone.
    auto walk = FilterWalk(f, kFilterIds, " ORDER BY m.posted DESC, m.id DESC");
    while (found.size() < limit && walk->Step()) {
      const int64_t id = walk->Int(0);
      if (cand && !cand->Has(id)) continue;
      int64_t posted = 0;
      if ((cand && judge.IndexVouches(id)) || judge.Passes(id, true, false, posted)) found.emplace_back(posted, id);
    }
  }
  for (const auto& [posted, id] : found) hits.push_back({id, LineById(id)});
  return hits;
}

uint64_t TSqliteArchive::Count(const TSearchQuery& q) {
  const TFilterIds f = ResolveFilter(q.Filter);
  if (f.Impossible) return 0;
  const int64_t maxId = MaxId();
  const std::optional<TIdSet> cand = Candidates(q, maxId);
  TJudge judge(db_, q, f, StaleIds());
  uint64_t count = 0;
  int64_t posted;
  if (!cand || (!q.Filter.Empty() && cand->Size() > 20000)) {
    if (!cand && q.Exclude.empty()) {
      std::string sql = "SELECT count(*) FROM messages WHERE posted >= ?1 AND posted < ?2";
      if (f.Ghost) sql += " AND ghost = ?3";
      if (f.Channel) sql += " AND channel = ?4";
      TStmt s(db_, sql);
      s.Bind(1, f.Since).Bind(2, f.Until);
      if (f.Ghost) s.Bind(3, *f.Ghost);
      if (f.Channel) s.Bind(4, *f.Channel);
      s.Step();
      return static_cast<uint64_t>(s.Int(0));
    }
    if (!cand && q.Filter.Empty()) {
      // Only exclusions: one pass over the texts.
      TStmt s(db_, "SELECT folded FROM texts");
      while (s.Step()) count += MatchesTerms(q, s.View(0));
      return count;
    }
    auto walk = FilterWalk(f, kFilterIds, "");
    while (walk->Step()) {
      const int64_t id = walk->Int(0);
      if (cand && !cand->Has(id)) continue;
      if ((cand && judge.IndexVouches(id)) || judge.Passes(id, true, false, posted)) ++count;
    }
    return count;
  }
  const bool filtered = !q.Filter.Empty();
  if (!filtered && judge.ReadsTexts() && cand->Size() > static_cast<uint64_t>(maxId / 16)) {
    // Many candidates: one pass over the texts beats a look-up each.
    TStmt s(db_, "SELECT id, folded FROM texts");
    while (s.Step()) {
      const int64_t id = s.Int(0);
      if (cand->Has(id) && (judge.IndexVouches(id) || MatchesTerms(q, s.View(1)))) ++count;
    }
    return count;
  }
  cand->ForEach([&](int64_t id) {
    if (filtered ? judge.Passes(id, false, false, posted) : judge.Passes(id, true, false, posted)) ++count;
  });
  return count;
}

void TSqliteArchive::Export(const TArchiveFilter& filter, const std::function<void(const TArchiveLine&)>& each,
                            const std::function<void(uint64_t)>& before) {
  TReadTransaction snapshot(db_);
  const TFilterIds f = ResolveFilter(filter);
  if (f.Impossible) {
    if (before) before(0);
    return;
  }
  if (before) {
    const auto count = FilterWalk(f, "SELECT count(*) FROM messages m", "");
    count->Step();
    before(static_cast<uint64_t>(count->Int(0)));
  }
  const auto lines = FilterWalk(f, std::string("SELECT ") + kLineColumns + kLineJoins, " ORDER BY m.posted, m.id");
  while (lines->Step()) each(LineAt(*lines, 0));
}

std::vector<TArchiveLine> TSqliteArchive::Revisions(int64_t id) {
  TStmt s(db_,
          "SELECT r.stamp, m.key, c.name, g.name, r.connection, r.vote, r.agree, r.script, r.rest "
          "FROM revisions r JOIN messages m ON m.id = r.message JOIN ghosts g ON g.id = r.ghost "
          "JOIN channels c ON c.id = r.channel WHERE r.message = ?1 ORDER BY r.id");
  s.Bind(1, id);
  std::vector<TArchiveLine> lines;
  while (s.Step()) lines.push_back(LineAt(s, 0));
  return lines;
}

TArchiveStats TSqliteArchive::Stats() {
  TArchiveStats st;
  const auto count = [&](const char* sql) {
    TStmt s(db_, sql);
    s.Step();
    return static_cast<uint64_t>(s.Int(0));
  };
  st.Messages = count("SELECT count(*) FROM messages");
  st.Revisions = count("SELECT count(*) FROM revisions");
  st.Ghosts = count("SELECT count(DISTINCT ghost) FROM messages");
  st.Channels = count("SELECT count(DISTINCT channel) FROM messages");
  TStmt first(db_, "SELECT stamp FROM messages ORDER BY posted, id LIMIT 1");
  if (first.Step()) st.FirstStamp = first.Text(0);
  TStmt last(db_, "SELECT stamp FROM messages ORDER BY posted DESC, id DESC LIMIT 1");
  if (last.Step()) st.LastStamp = last.Text(0);
  std::error_code ec;
  st.FileBytes = std::filesystem::file_size(db_.Path(), ec);
  if (ec) st.FileBytes = 0;
  // Pages not yet checkpointed sit in the journal beside it: they are the archive too.
  const uintmax_t journal = std::filesystem::file_size(db_.Path() + "-wal", ec);
  if (!ec) st.FileBytes += journal;
  return st;
}

std::vector<std::string> TSqliteArchive::Check() {
  std::vector<std::string> problems;
  {
    TStmt s(db_, "PRAGMA integrity_check");
    while (s.Step()) {
      if (s.View(0) != "ok") problems.push_back("file: " + s.Text(0));
    }
  }
  if (!problems.empty()) return problems;
  // The index must hold exactly the grams of every message's folded text;
  // a changed message may hold more (its old grams) but never fewer. Sums of
  // mixed (gram, id) pairs compare the two sides in one pass each.
  const std::unordered_set<int64_t> stale = StaleIds();
  uint64_t expectSum = 0, expectCount = 0;
  std::unordered_set<uint64_t> staleWanted;
  {
    TStmt s(db_, "SELECT m.id, t.folded FROM messages m LEFT JOIN texts t ON t.id = m.id");
    while (s.Step()) {
      const int64_t id = s.Int(0);
      for (TGram g : TextGrams(s.View(1))) {
        if (stale.count(id)) {
          staleWanted.insert(Mix(g, id));
        } else {
          expectSum += Mix(g, id);
          ++expectCount;
        }
      }
    }
  }
  uint64_t haveSum = 0, haveCount = 0;
  std::size_t badLists = 0;
  {
    TStmt s(db_, "SELECT gram, ids FROM postings");
    std::vector<int64_t> ids;
    while (s.Step()) {
      ids.clear();
      DecodePostings(s.View(1), ids);
      for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] <= (i ? ids[i - 1] : 0)) ++badLists;
        const uint64_t m = Mix(s.Int(0), ids[i]);
        if (stale.count(ids[i])) {
          staleWanted.erase(m);
        } else {
          haveSum += m;
          ++haveCount;
        }
      }
    }
  }
  if (badLists) problems.push_back("index: " + std::to_string(badLists) + " posting entries out of order");
  if (expectSum != haveSum || expectCount != haveCount) {
    problems.push_back("index: " + std::to_string(haveCount) + " entries where the messages need " +
                       std::to_string(expectCount) + (expectCount == haveCount ? ", and they differ" : ""));
  }
  if (!staleWanted.empty()) {
    problems.push_back("index: " + std::to_string(staleWanted.size()) + " entries of changed messages missing");
  }
  return problems;
}

}  // namespace

std::unique_ptr<IArchiveStore> OpenSqliteArchive(const std::string& path, const TSqliteArchiveOptions& options) {
  return std::make_unique<TSqliteArchive>(path, options);
}

}  // namespace hollowmere
