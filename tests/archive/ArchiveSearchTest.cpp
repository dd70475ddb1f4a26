// Search: the query language, folding, and the index against a brute-force
// reading of every message (the same hits in the same order, the same count).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ArchiveTestLog.h"
#include "archive/GramIndex.h"
#include "archive/SqliteArchive.h"

namespace hollowmere::testing {
namespace {

TEST(ArchiveSearch, QueryLanguageTable) {
  struct Case {
    const char* query;
    std::vector<std::string> include, exclude;
    const char* ghost;  // UTF-8, null: none
    const char* since;  // ISO day, null: none
    const char* until;  // ISO day after, null: none
  } cases[] = {
      {"", {}, {}, nullptr, nullptr, nullptr},
      {"天気", {"天気"}, {}, nullptr, nullptr, nullptr},
      {"ＡＢＣ ｶﾅ", {"abc", "カナ"}, {}, nullptr, nullptr, nullptr},
      {"雨　晴れ", {"雨", "晴れ"}, {}, nullptr, nullptr, nullptr},
      {"\"good morning\" -bad", {"good morning"}, {"bad"}, nullptr, nullptr, nullptr},
      {"-\"a b\" - x", {"-", "x"}, {"a b"}, nullptr, nullptr, nullptr},
      {"ghost:さくら GHOST:\"Emily Phase\"", {}, {}, "Emily Phase", nullptr, nullptr},
      {"since:2004/05/06 until:2004-05-07", {}, {}, nullptr, "2004-05-06", "2004-05-08"},
      {"\"unclosed phrase", {"unclosed phrase"}, {}, nullptr, nullptr, nullptr},
      {"a:b http://x", {"a:b", "http://x"}, {}, nullptr, nullptr, nullptr},
      {"' OR 1=1; --", {"'", "or", "1=1;"}, {"-"}, nullptr, nullptr, nullptr},
  };
  const auto day = [](const char* iso) {
    return WallSeconds(TLocalTime{{std::atoi(iso), std::atoi(iso + 5), std::atoi(iso + 8)}, {}});
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const TSearchQuery q = ParseSearchQuery(c.query);
    EXPECT_EQ(q.Include, c.include);
    EXPECT_EQ(q.Exclude, c.exclude);
    EXPECT_EQ(q.Filter.Ghost, c.ghost ? std::optional(text::Utf8ToCp932(c.ghost)) : std::nullopt);
    EXPECT_EQ(q.Filter.Since, c.since ? std::optional(day(c.since)) : std::nullopt);
    EXPECT_EQ(q.Filter.Until, c.until ? std::optional(day(c.until)) : std::nullopt);
  }
  for (const char* bad : {"ghost:", "since:yesterday", "until:2004/02/30", "since:04/05/06", "channel:\"\"",
                          "ghost:\xF0\x9F\x98\x80"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseSearchQuery(bad), ESearchQueryError);
  }
}

TEST(ArchiveSearch, FoldingMeetsWidthsAndCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"ＡＢＣ", "abc"}, {"ABC", "abc"}, {"ｶﾅ", "カナ"}, {"ｶﾞｷﾞ", "ガギ"}, {"１２３", "123"}, {"㈱", "(株)"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FoldForSearch(in), out) << in;
  // Tags and metas are not what the balloons show.
  EXPECT_EQ(ShippedVisibleText().Folded(text::Utf8ToCp932("\\0\\s[10]Ｈｉ\\nｶﾅ\\URL[http://x]\\e")),
            "hi\nカナ");
  // A pair of backslashes shows as one, as in the balloon; "ソ" (whose
  // second byte is a backslash) stays whole.
  EXPECT_EQ(ShippedVisibleText().Visible(text::Utf8ToCp932("a\\\\b\\\\\\\\cソ\\\\d")),
            text::Utf8ToCp932("a\\b\\\\cソ\\d"));
}

// One archived message as the brute force sees it.
struct Kept {
  int64_t Posted;
  int64_t Id;
  std::string Mid, Ghost, Channel, Folded;
};

const char* const kPieces[] = {
    "こんにちは", "天気", "雨", "晴れ", "ＡＢＣ", "abc", "Abc", "ｶﾅ", "カナ", "ガギ", "ｶﾞｷﾞ", "表", "ソース",
    "hello", "world", "100%", "a b", "-", "\\s[10]", "\\n", "\\h", "\\u", "\\_s", "\\w5", "\\URL[http://abc/]",
    "\\![raise,abc]", "\\0", "\\1", "、", "。", "ー", "の", "は", "s[1", "e\\e"};
const char* const kGhosts[] = {"さくら", "毒子", "Emily/Phase4", "なる"};
const char* const kChannels[] = {"雑談", "能楽堂", "Test Channel"};

TEST(ArchiveSearch, AgreesWithBruteForceOnTenThousandMessages) {
  std::mt19937 rng(42);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  TempDir dir;
  auto store = OpenSqliteArchive(dir.file("a.sqlite3"));
  std::vector<std::string> lines;
  std::vector<LineSpec> specs;
  for (int k = 0; k < 10000; ++k) {
    LineSpec s;
    char stamp[40];
    // Few distinct seconds, so equal times are common.
    std::snprintf(stamp, sizeof stamp, "2004%02d%02d12%02d00", 1 + pick(12), 1 + pick(28), pick(3));
    s.Stamp = stamp;
    s.Mid = "id" + std::to_string(k);
    s.Ghost = kGhosts[pick(4)];
    s.Channel = kChannels[pick(3)];
    s.Script.clear();
    for (int n = 1 + pick(8); n > 0; --n) s.Script += kPieces[pick(static_cast<int>(std::size(kPieces)))];
    specs.push_back(s);
    lines.push_back(Line(s));
  }
  MergeLog(*store, Log(lines));
  // Then a later fetch brings new messages and edits some old scripts
  // between them (their old grams stay behind; their new ones come after
  // higher ids).
  std::vector<std::string> edits;
  for (int k = 0; k < 10000; k += 37) {
    LineSpec fresh = specs[static_cast<std::size_t>(k)];
    fresh.Mid = "new" + std::to_string(k);
    specs.push_back(fresh);
    lines.push_back(Line(fresh));
    edits.push_back(lines.back());
    specs[k].Script = kPieces[pick(static_cast<int>(std::size(kPieces)))];
    edits.push_back(Line(specs[k]));
  }
  MergeLog(*store, Log(edits));
  ASSERT_EQ(store->Check(), std::vector<std::string>{});

  std::vector<Kept> kept;
  for (std::size_t k = 0; k < specs.size(); ++k) {
    const TArchiveLine l = SplitArchiveLines(Log({lines[k]}))->front();
    kept.push_back({StampSeconds(l.Stamp), static_cast<int64_t>(k) + 1, specs[k].Mid, specs[k].Ghost, specs[k].Channel,
                    ShippedVisibleText().Folded(text::Utf8ToCp932(specs[k].Script))});
  }
  const auto brute = [&](const TSearchQuery& q) {
    std::vector<const Kept*> hits;
    for (const auto& m : kept) {
      const auto& f = q.Filter;
      if (f.Ghost && *f.Ghost != text::Utf8ToCp932(m.Ghost)) continue;
      if (f.Channel && *f.Channel != text::Utf8ToCp932(m.Channel)) continue;
      if ((f.Since && m.Posted < *f.Since) || (f.Until && m.Posted >= *f.Until)) continue;
      if (MatchesTerms(q, m.Folded)) hits.push_back(&m);
    }
    std::sort(hits.begin(), hits.end(), [](const Kept* a, const Kept* b) {
      return std::tie(a->Posted, a->Id) > std::tie(b->Posted, b->Id);
    });
    return hits;
  };

  const std::string alphabet[] = {"天", "気", "雨", "a", "b", "c", "カ", "ナ", "の", "は", "%", "s", "[", "ー", "x"};
  for (int i = 0; i < 400; ++i) {
    std::string query;
    if (pick(3) == 0) {
      for (int n = 1 + pick(8); n > 0; --n) query += alphabet[pick(static_cast<int>(std::size(alphabet)))];
    } else {
      // A piece of some message's folded text, one to eight characters.
      const std::string& f = kept[static_cast<std::size_t>(pick(static_cast<int>(kept.size())))].Folded;
      std::vector<std::size_t> starts;
      for (std::size_t p = 0; p < f.size(); ++p) {
        if ((static_cast<unsigned char>(f[p]) & 0xC0) != 0x80) starts.push_back(p);
      }
      if (starts.empty()) continue;
      const std::size_t a = static_cast<std::size_t>(pick(static_cast<int>(starts.size())));
      const std::size_t b = std::min(starts.size(), a + 1 + static_cast<std::size_t>(pick(8)));
      query = f.substr(starts[a], (b == starts.size() ? f.size() : starts[b]) - starts[a]);
      if (query.find_first_of(" \"\n") != std::string::npos || query[0] == '-' ||
          query.find(':') != std::string::npos) {
        continue;
      }
    }
    if (pick(4) == 0) query += std::string(" ghost:") + kGhosts[pick(4)];
    if (pick(5) == 0) query += std::string(" channel:\"") + kChannels[pick(3)] + "\"";
    if (pick(4) == 0) query += " since:2004/0" + std::to_string(1 + pick(6)) + "/15";
    if (pick(5) == 0) query += " until:2004/" + std::to_string(6 + pick(6)) + "/01";
    if (pick(6) == 0) query += std::string(" -") + alphabet[pick(static_cast<int>(std::size(alphabet)))];
    SCOPED_TRACE(query);
    const TSearchQuery q = ParseSearchQuery(query);
    const auto want = brute(q);
    const std::size_t limit = pick(2) ? 100 : 7;
    const auto got = store->Search(q, limit);
    ASSERT_EQ(got.size(), std::min(limit, want.size()));
    for (std::size_t h = 0; h < got.size(); ++h) ASSERT_EQ(got[h].Line.Mid, want[h]->Mid) << h;
    ASSERT_EQ(store->Count(q), want.size());
  }
}

// Thousands of distinct characters in one merge, written out at once or in
// many small batches: every one of them must still find its own message.
TEST(ArchiveSearch, ManyDistinctCharactersInOneMerge) {
  const auto kanji = [](int n) {  // the n-th of a run of assigned CP932 kanji
    const char two[] = {static_cast<char>(0x89 + n / 63), static_cast<char>(0x40 + n % 63), 0};
    return text::Cp932ToUtf8Lossy(two);
  };
  for (const std::size_t flushEvery : {std::size_t{50000}, std::size_t{7}}) {
    SCOPED_TRACE(flushEvery);
    TempDir dir;
    auto store = OpenSqliteArchive(dir.file("a.sqlite3"), {15000, flushEvery});
    std::vector<std::string> lines;
    for (int k = 0; k < 300; ++k) {
      std::string script = "\\0";
      for (int j = 0; j < 3; ++j) script += kanji(k * 3 + j);
      lines.push_back(NumberedLine(k, script + "\\e"));
    }
    EXPECT_EQ(MergeLog(*store, Log(lines)).New, 300u);
    ASSERT_EQ(store->Check(), std::vector<std::string>{});
    for (int k = 0; k < 300; k += 29) {
      for (const std::string& term : {kanji(k * 3 + 2), kanji(k * 3) + kanji(k * 3 + 1)}) {
        SCOPED_TRACE(term);
        const auto hits = store->Search(ParseSearchQuery(term), 10);
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].Line.Mid, "m" + std::to_string(k));
        EXPECT_EQ(store->Count(ParseSearchQuery(term)), 1u);
      }
    }
  }
}

TEST(ArchiveSearch, PostingListsRoundTrip) {
  for (const std::vector<int64_t>& ids :
       {std::vector<int64_t>{}, {1}, {1, 2, 3}, {5, 300, 70000, int64_t{1} << 40}, {127, 128, 16383, 16384}}) {
    std::string list;
    int64_t last = 0;
    for (int64_t id : ids) AppendPosting(list, last, id);
    std::vector<int64_t> back;
    EXPECT_EQ(DecodePostings(list, back), ids.empty() ? 0 : ids.back());
    EXPECT_EQ(back, ids);
  }
  std::vector<int64_t> out;
  DecodePostings("\x81\x82", out);  // cut off inside a number
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace hollowmere::testing
