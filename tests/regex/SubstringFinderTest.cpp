// The prefix finder against a byte-by-byte search (alone and stopping at a
// NUL), for both vector widths, every needle length up to past a block and
// texts long enough for several blocks; and the plain search built on it over
// long Shift_JIS texts, where a "<" may be the trail byte of a double-byte
// character.
#include "regex/SubstringFinder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>
#include <string_view>

#include "regex/RegExpTestSupport.h"
#include "text/Sjis.h"

namespace hollowmere::regex_test {
namespace {

using regex::TSubstringFinder;

TEST(SubstringFinder, AgreesWithAByteSearchEverywhere) {
  std::mt19937 rng(7);
  // Few distinct bytes, so first and last bytes agree often without a match.
  const std::string letters = std::string("<br>a\x81\0", 7);
  auto randomText = [&](std::size_t n) {
    std::string s(n, ' ');
    for (char& c : s) c = letters[rng() % letters.size()];
    return s;
  };
  for (int width : {16, 32}) {
    for (std::size_t n = 0; n <= 40; ++n) {
      for (int round = 0; round < 30; ++round) {
        const std::string text = randomText(rng() % 150);
        // Half the needles are taken from the text, so there are hits.
        std::string needle = randomText(n);
        if (round % 2 == 0 && text.size() >= n) needle = text.substr(rng() % (text.size() - n + 1), n);
        const TSubstringFinder finder(needle, width);
        // A buffer of exactly the text's size, so the sanitizer sees any read past it.
        const std::vector<unsigned char> exact(text.begin(), text.end());
        const unsigned char* bytes = exact.data();
        for (std::size_t from = 0; from <= text.size() + 1; from += 1 + rng() % 7) {
          const std::size_t expected = from > text.size() ? std::string::npos : text.find(needle, from);
          ASSERT_EQ(finder.Find(bytes, text.size(), from), expected)
              << "width " << width << " needle '" << needle << "' from " << from << " in '" << text << "'";
          if (n == 0) continue;
          const std::size_t nul = from >= text.size() ? std::string::npos : text.find('\0', from);
          ASSERT_EQ(finder.FindOrNul(bytes, text.size(), from), std::min(expected, nul))
              << "width " << width << " needle '" << needle << "' from " << from << " in '" << text << "'";
        }
      }
    }
  }
}

// The leftmost-longest "(<br>)+" worked out by hand on whole characters.
std::string CollapseBreaksByHand(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t j = i;
    while (text.compare(j, 4, "<br>") == 0) j += 4;
    if (j > i) {
      out += "<br>";
      i = j;
      continue;
    }
    const std::size_t length = text::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    out.append(text, i, length);
    i += length;
  }
  return out;
}

TEST(SubstringFinder, LongTextsReplaceAsWholeCharacters) {
  std::mt19937 rng(11);
  // "\x83<" is a double-byte character whose trail byte looks like "<".
  const std::vector<std::string> pieces = {"<br>", "<br>", "<b", "r>", "<td>", "\x83<", "\x83", "\x81\x40",
                                           "a",    "\r\n", J("表"), "<br"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (int k = static_cast<int>(rng() % 120); k > 0; --k) text += pieces[rng() % pieces.size()];
    const Replaced got = Replace("(<br>)+", "<br>", text);
    ASSERT_EQ(got.text, CollapseBreaksByHand(text)) << text;
  }
}

}  // namespace
}  // namespace hollowmere::regex_test
