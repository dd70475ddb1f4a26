// The search index's vocabulary: every character (unigram) and every pair of
// adjacent characters (bigram) of a folded text, LF-separated runs apart. A
// text that contains a query of one character holds its unigram; one of two
// or more characters holds all of its bigrams. So the index answers the
// short queries Japanese users type exactly, and narrows longer ones to
// candidates that are then checked against the folded text.
// Posting lists are ascending message ids, the first as a varint and each
// next one as the varint of its difference.
#pragma once

#include <unicode/utf8.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

using TGram = int64_t;

inline TGram Bigram(UChar32 a, UChar32 b) { return (static_cast<TGram>(a) + 1) << 21 | b; }

// Calls f(gram) for every gram of a folded text, repeats included. It
// allocates nothing, so merging large logs can feed it straight to the
// pending lists, which drop a repeat of the message they last took.
template <typename F>
void ForEachGram(std::string_view folded, F&& f) {
  const int32_t n = static_cast<int32_t>(folded.size());
  int32_t i = 0;
  UChar32 prev = '\n';
  while (i < n) {
    UChar32 c;
    U8_NEXT(folded.data(), i, n, c);
    if (c < 0) c = 0xFFFD;
    if (c != '\n') {
      f(static_cast<TGram>(c));
      if (prev != '\n') f(Bigram(prev, c));
    }
    prev = c;
  }
}

// Distinct grams of a folded text, in no particular order.
std::vector<TGram> TextGrams(std::string_view folded);
// The grams every text containing `term` (folded, non-empty) must hold:
// its unigram when it is one character, else its bigrams.
std::vector<TGram> TermGrams(std::string_view term);
// Characters (code points) in a UTF-8 text.
std::size_t CharCount(std::string_view utf8);

// Appends `id` (> the last id appended, `last`; 0 for none yet) to a list.
void AppendPostingSlow(std::string& list, int64_t& last, int64_t id);
inline void AppendPosting(std::string& list, int64_t& last, int64_t id) {
  // Most steps of a busy gram's list take one byte.
  if (id > last && id - last < 0x80) {
    list += static_cast<char>(id - last);
    last = id;
  } else {
    AppendPostingSlow(list, last, id);
  }
}
// Decodes a list, appending its ids to `out`; the last id, or 0 for an
// empty list. A damaged list stops at its damage.
int64_t DecodePostings(std::string_view list, std::vector<int64_t>& out);

}  // namespace hollowmere
