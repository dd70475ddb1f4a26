// The remembered bracket walks and the per-byte line lists must give exactly
// the tokens the earlier matcher gave: every line is compared at every offset
// of random scripts, and whole scans under the shipped and random pattern
// lines are compared with a tokenizer whose matcher is the earlier one, run
// through the OnParse hook.
#include "script/BracketScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "script/SsParser.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

// ---- The matcher as it was before the walks were remembered. ----

std::size_t OldCharAt(const char* p) { return (text::IsLeadByte(p[0]) && p[1] != '\0') ? 2 : 1; }

std::size_t OldTakeBracket(const char* s) {
  std::size_t i = 1;
  for (;;) {
    const char c = s[i];
    if (c == '\0') return 0;
    if (c == ']') return i + 1;
    if (c == '\\') {
      if (s[i + 1] == '\0') return 0;
      i += 1 + OldCharAt(s + i + 1);
    } else {
      i += OldCharAt(s + i);
    }
  }
}

std::size_t OldTakeContents(const char* s) {
  std::size_t i = 0;
  for (;;) {
    const char c = s[i];
    if (c == '\0' || c == ']') return i;
    if (c == '\\') {
      i += (s[i + 1] == '\0') ? 1 : 1 + OldCharAt(s + i + 1);
    } else {
      i += OldCharAt(s + i);
    }
  }
}

std::size_t OldMatch(std::string_view line, const char* script) {
  const char* s = script;
  const std::size_t n = line.size();
  std::size_t li = 0;
  while (li < n) {
    const char lc = line[li];
    if (lc != '%') {
      if (*s == '\0' || *s != lc) return 0;
      ++s;
      ++li;
      continue;
    }
    if (*s == '\0') return 0;
    const char d = (li + 1 < n) ? line[li + 1] : '\0';
    switch (d) {
      case '%': if (*s != '%') return 0; ++s; break;
      case '.': s += OldCharAt(s); break;
      case 'd': if (*s < '0' || *s > '9') return 0; ++s; break;
      case 'D':
        if (*s < '0' || *s > '9') return 0;
        while (*s >= '0' && *s <= '9') ++s;
        break;
      case 'm': if (text::IsLeadByte(*s)) return 0; ++s; break;
      case 'M': if (!text::IsLeadByte(*s) || s[1] == '\0') return 0; s += 2; break;
      case 'b': {
        if (*s != '[') return 0;
        const std::size_t len = OldTakeBracket(s);
        if (len == 0) return 0;
        s += len;
        break;
      }
      case 'c': if (*s == ']') return 0; s += OldTakeContents(s); break;
      default:
        if (*s != '%') return 0;
        ++s;
        ++li;
        continue;
    }
    li += 2;
  }
  return static_cast<std::size_t>(s - script);
}

// A tokenizer whose pattern lines are matched by the earlier matcher: the
// lines live in the hook, the parser's own lists stay empty.
void UseOldMatcher(TSsParser& p, std::vector<std::string> tagLines, std::vector<std::string> metaLines) {
  p.SetTagPattern({});
  p.SetMetaPattern({});
  p.OnParse = [tagLines, metaLines](TSsParser&, std::string_view script, int& len, TSsMarkUpType& type,
                                    std::string&) {
    if (script[0] == '\\') {
      for (std::size_t k = 0; k < tagLines.size(); ++k) {
        const std::string& line = tagLines[k];
        if (line.empty()) continue;
        if (line[0] != '\\' && line[0] != '!') {
          throw ESsParserError(text::Sjis("TagPattern表記ミス ") + std::to_string(k + 1) + text::Sjis(" 行目"));
        }
        const std::size_t got = OldMatch(std::string_view(line).substr(1), script.data() + 1);
        if (got > 0 || line.size() == 1) {
          len = static_cast<int>(got + 1);
          type = line[0] == '!' ? mtUndefinedTag : mtTag;
          return;
        }
      }
    } else {
      for (const std::string& line : metaLines) {
        if (line.empty()) continue;
        const std::size_t got = OldMatch(line, script.data() + 1);
        if (got > 0) {
          len = static_cast<int>(got + 1);
          type = mtMeta;
          return;
        }
      }
    }
  };
}

struct Token {
  TSsMarkUpType type;
  int32_t position;
  std::string str;
  bool operator==(const Token&) const = default;
};

std::string Printable(const std::string& s);

void PrintTo(const Token& t, std::ostream* os) {
  *os << static_cast<int>(t.type) << "@" << t.position << ":" << Printable(t.str);
}

// The tokens, and the error that ended the scan, if one did.
std::vector<Token> Tokens(TSsParser& p, const std::string& script) {
  std::string error;
  try {
    p.SetInputString(script);
  } catch (const ESsParserError& e) {
    error = e.what();
  }
  std::vector<Token> out;
  for (int i = 0; i < p.Count(); ++i) out.push_back({p.MarkUpType(i), p.MarkUp(i).Position, p.Str(i)});
  if (!error.empty()) out.push_back({mtText, -1, error});
  return out;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (const unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      out += hex;
    }
  }
  return out;
}

// Bytes that steer the walk: brackets, backslashes, lead bytes (also before
// "]" and "\" as trail bytes), a byte that is no lead byte, and NUL.
const std::string kWalkBytes = std::string("[]\\\\]a%0\x81\x95\xE0\xFC\x5C\x5D\xA0", 15) + std::string(1, '\0');

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength, const std::string& alphabet) {
  std::string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), ' ');
  for (char& c : s) c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
  return s;
}

TEST(BracketWalk, EveryPatternLineTakesWhatItTookBeforeAtEveryOffset) {
  std::vector<std::string> lines = LoadPatternFile(testing::SourceDir() + "/data/tagpat.txt");
  for (const std::string& meta : LoadPatternFile(testing::SourceDir() + "/data/metapat.txt")) {
    lines.push_back("\\" + meta);
  }
  for (const char* extra : {"\\%c", "\\%c]", "\\[%c]%b", "\\%b%c%b", "\\x%c%c", "\\%.%c"}) lines.push_back(extra);
  std::mt19937 rng(77);
  TBracketCloses closes(0);
  const std::string alphabet = kWalkBytes + "URL_s!pnhalf";
  for (int round = 0; round < 600; ++round) {
    std::string script = RandomBytes(rng, 60, alphabet);
    script.append(2, '\0');
    const char* s = script.c_str();
    const std::size_t end = std::strlen(s);
    closes.Reset(s, end);
    for (std::size_t q = 0; q < end; ++q) {
      for (const std::string& line : lines) {
        if (line.empty()) continue;
        const std::string_view body = std::string_view(line).substr(1);
        ASSERT_EQ(MatchPatternLine(body, s + q, &closes), OldMatch(body, s + q))
            << "line " << line << " at " << q << " of " << Printable(script);
        ASSERT_EQ(MatchPatternLine(body, s + q), OldMatch(body, s + q));
      }
    }
  }
}

// The table keeps a few answers in every 16 offsets; walks from anywhere in
// scripts several times that long, of long unclosed stretches and of many
// short brackets, must land where a plain walk does.
TEST(BracketWalk, TabledAnswersAreThoseOfThePlainWalkAtEveryOffset) {
  std::mt19937 rng(5);
  TBracketCloses closes(0);
  for (int round = 0; round < 300; ++round) {
    const std::string alphabet = round % 2 == 0 ? kWalkBytes : std::string("a\\\x81\x81\x81]");
    std::string script = RandomBytes(rng, 700, alphabet.substr(0, alphabet.size() - (round % 3 == 0 ? 0 : 1)));
    script.append(2, '\0');
    const char* s = script.c_str();
    const std::size_t end = std::strlen(s);
    closes.Reset(s, end);
    for (std::size_t q = end + 1; q-- > 0;) {
      ASSERT_EQ(closes.CloseFrom(q), FindBracketClose(s, q)) << "at " << q << " of " << Printable(script);
    }
  }
}

// Scripts built from the pieces hostile and ordinary logs are made of.
std::string RandomScript(std::mt19937& rng, std::size_t maxPieces = 30) {
  static const std::vector<std::string> pieces = {
      "\\URL[", "\\s[", "\\_s[", "\\![", "]", "[", "\\", "\\\\", "\\]", "\\%", "%", "%username",
      "%property[a]", "%charname(12)", "\\s[10]", "\\s[-1]", "\\s5", "\\n[half]", "\\n", "\\_s",
      "\\q[a\\]b]", "\\URL[http://a/][A]", "\\![raise,x]", "\\0", "\\h", "\\u", "hello ", "0123",
      text::Sjis("ソ"), text::Sjis("表"), text::Sjis("さくら"), "\x81", "\xE0", "\xE0]", "\x81\\"};
  std::string script;
  const std::size_t count = std::uniform_int_distribution<std::size_t>(0, maxPieces)(rng);
  for (std::size_t i = 0; i < count; ++i) {
    script += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
  }
  return script;
}

// Under the shipped lists, and under the shipped tag list repeated past the
// bound on the index's second-byte lists (letters past it keep one list).
TEST(BracketWalk, ScansUnderTheShippedPatternsGiveTheEarlierTokens) {
  const auto shipped = LoadPatternFile(testing::SourceDir() + "/data/tagpat.txt");
  const auto metas = LoadPatternFile(testing::SourceDir() + "/data/metapat.txt");
  const std::vector<std::string> repeated = [&] {
    std::vector<std::string> lines;
    while (lines.size() < 3000) lines.insert(lines.end(), shipped.begin(), shipped.end());
    return lines;
  }();
  for (const std::vector<std::string>* tags : {&shipped, &repeated}) {
    TSsParser now;
    now.SetTagPattern(*tags);
    now.SetMetaPattern(metas);
    TSsParser before;
    UseOldMatcher(before, *tags, metas);
    std::mt19937 rng(4242);
    for (int round = 0; round < (tags == &shipped ? 5000 : 300); ++round) {
      // Now and then long enough for the scan to start remembering its walks.
      const std::string script = RandomScript(rng, round % 10 == 0 ? 400 : 30);
      ASSERT_EQ(Tokens(now, script), Tokens(before, script)) << Printable(script);
    }
    // Long runs of unclosed brackets, as a hostile message would send them.
    for (const char* unit : {"\\URL[", "\\_s[", "\\![", "\\s[", "\\URL[a][", "[\\"}) {
      std::string script;
      for (int i = 0; i < 300; ++i) script += unit;
      ASSERT_EQ(Tokens(now, script), Tokens(before, script)) << unit;
      ASSERT_EQ(Tokens(now, script + "]"), Tokens(before, script + "]")) << unit;
    }
  }
}

// Random lines also check that trying only the lines of the byte after the
// backslash or percent sign leaves the first matching line, and the report
// of a faulty line, where they were.
TEST(BracketWalk, ScansUnderRandomPatternLinesGiveTheEarlierTokens) {
  static const std::vector<std::string> parts = {"%b", "%c", "%b", "%c", "%d", "%D", "%.", "%m",
                                                 "%M", "%%", "%", "[", "]", "s", "a", "\\", "U", "_"};
  std::mt19937 rng(9);
  const auto randomLine = [&](const char* first) {
    std::string line = first;
    const int n = std::uniform_int_distribution<int>(0, 4)(rng);
    for (int i = 0; i < n; ++i) line += parts[std::uniform_int_distribution<std::size_t>(0, parts.size() - 1)(rng)];
    return line;
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> tags, metas;
    // Now and then a line of the wrong form, reported only once reached.
    for (int i = 0; i < 6; ++i) tags.push_back(randomLine(i % 3 == 2 ? "!" : (rng() % 40 == 0 ? "x" : "\\")));
    // Lines that begin like the line before them, as "\URL%b%b" and "\URL%b" do.
    for (int i = 0; i < 4; ++i) {
      const std::string& base = tags[rng() % tags.size()];
      std::string longer = base.substr(0, rng() % (base.size() + 1)) + randomLine("").substr(0);
      if (longer.empty() || (longer[0] != '\\' && longer[0] != '!')) longer.insert(0, "\\");
      tags.insert(tags.begin() + static_cast<long>(rng() % (tags.size() + 1)), longer);
    }
    if (rng() % 4 == 0) tags.insert(tags.begin() + static_cast<long>(rng() % tags.size()), "");
    for (int i = 0; i < 3; ++i) metas.push_back(randomLine(""));
    metas.push_back(metas[0] + randomLine(""));
    TSsParser now;
    now.SetTagPattern(tags);
    now.SetMetaPattern(metas);
    TSsParser before;
    UseOldMatcher(before, tags, metas);
    for (int k = 0; k < 20; ++k) {
      const std::string script = RandomScript(rng, k == 0 ? 300 : 30) + RandomBytes(rng, 12, kWalkBytes);
      ASSERT_EQ(Tokens(now, script), Tokens(before, script)) << Printable(script);
    }
  }
}

}  // namespace
}  // namespace hollowmere
