// Grams and posting lists. A unigram is its code point; a bigram is
// (first + 1) << 21 | second, above every code point, so both share one key
// space without colliding.
#include "archive/GramIndex.h"

#include <unicode/utf8.h>

#include <algorithm>

namespace hollowmere {
namespace {

std::vector<UChar32> CodePoints(std::string_view s) {
  std::vector<UChar32> cps;
  cps.reserve(s.size());
  int32_t i = 0;
  const int32_t n = static_cast<int32_t>(s.size());
  while (i < n) {
    UChar32 c;
    U8_NEXT(s.data(), i, n, c);
    cps.push_back(c < 0 ? 0xFFFD : c);
  }
  return cps;
}

}  // namespace

std::size_t CharCount(std::string_view utf8) { return CodePoints(utf8).size(); }

std::vector<TGram> TextGrams(std::string_view folded) {
  std::vector<TGram> grams;
  grams.reserve(folded.size() * 2);
  ForEachGram(folded, [&](TGram g) { grams.push_back(g); });
  std::sort(grams.begin(), grams.end());
  grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
  return grams;
}

std::vector<TGram> TermGrams(std::string_view term) {
  const std::vector<UChar32> cps = CodePoints(term);
  if (cps.size() == 1) return {cps[0]};
  std::vector<TGram> grams;
  for (std::size_t i = 0; i + 1 < cps.size(); ++i) grams.push_back(Bigram(cps[i], cps[i + 1]));
  std::sort(grams.begin(), grams.end());
  grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
  return grams;
}

void AppendPostingSlow(std::string& list, int64_t& last, int64_t id) {
  uint64_t v = static_cast<uint64_t>(id - last);
  last = id;
  char buf[10];
  std::size_t n = 0;
  while (v >= 0x80) {
    buf[n++] = static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  buf[n++] = static_cast<char>(v);
  list.append(buf, n);
}

int64_t DecodePostings(std::string_view list, std::vector<int64_t>& out) {
  int64_t last = 0;
  std::size_t i = 0;
  while (i < list.size()) {
    uint64_t v = 0;
    int shift = 0;
    for (;;) {
      if (i >= list.size() || shift > 63) return last;
      const auto b = static_cast<unsigned char>(list[i++]);
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (b < 0x80) break;
      shift += 7;
    }
    last += static_cast<int64_t>(v);
    out.push_back(last);
  }
  return last;
}

}  // namespace hollowmere
