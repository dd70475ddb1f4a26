// Fuzz target for the search box: any text either parses to a query or is
// refused with ESearchQueryError, never anything else; every term is
// non-empty folded text that folding leaves as it is; and the query then
// runs against a small archive, where every hit truly matches and the hits
// come newest first, as many as the count allows.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "archive/LogArchiver.h"
#include "archive/SqliteArchive.h"
#include "text/Encoding.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

struct TArchive {
  fuzz::TScratchFolder Folder;
  TVisibleText Visible = TVisibleText::FromFolder(HOLLOWMERE_SOURCE_DIR "/data/");
  std::unique_ptr<IArchiveStore> Store = OpenSqliteArchive(Folder.Path() + "/archive.sqlite3");
  TArchive() {
    std::string log = "Result: OK\r\nfuzz\r\ncount\r\n";
    const char* scripts[] = {"\\0こんにちは\\n天気\\e", "ＡＢＣ abc ｶﾅ", "\\s[10]雨\\_s晴れ-\"x\"", "100% sure", ""};
    const char* ghosts[] = {"さくら", "毒子", "a b"};
    for (int k = 0; k < 60; ++k) {
      log += text::Utf8ToCp932("200405" + std::to_string(10 + k % 9) + "1200" + std::to_string(10 + k % 50) +
                               "\tm" + std::to_string(k) + "\t雑談\t" + ghosts[k % 3] + "\t1\t2\t3\t" +
                               scripts[k % 5] + scripts[(k / 5) % 5]) +
             "\r\n";
    }
    TLogEntries entries(log, Visible);
    Store->Merge(entries, 1);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static TArchive archive;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TSearchQuery q;
  try {
    q = ParseSearchQuery(text);
  } catch (const ESearchQueryError& e) {
    Check(std::string_view(e.what()).size() > 0, "a refusal says why");
    return 0;
  }
  for (const auto* terms : {&q.Include, &q.Exclude}) {
    for (const std::string& t : *terms) {
      Check(!t.empty(), "no empty term");
      Check(FoldForSearch(t) == t, "terms are folded");
    }
  }
  const uint64_t count = archive.Store->Count(q);
  const auto hits = archive.Store->Search(q, 10);
  Check(hits.size() == std::min<uint64_t>(count, 10), "as many hits as the count allows");
  int64_t last = INT64_MAX;
  for (const auto& h : hits) {
    Check(MatchesTerms(q, archive.Visible.Folded(h.Line.Script)), "every hit matches");
    const int64_t posted = StampSeconds(h.Line.Stamp);
    Check(posted <= last, "newest first");
    last = posted;
  }
  return 0;
}
