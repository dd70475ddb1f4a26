// Fuzz target for a key-and-value reply (THeadValue), as the service answers
// a vote: every line with a colon after a non-empty key gives one pair, in
// order; lookups give the first pair of a key; indexes outside the pairs
// are refused with EListError.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "log/HeadValue.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const THeadValue reply(text);
  int expected = 0;
  for (const std::string& line : text::SplitLines(text)) {
    const std::size_t colon = text::Find(line, ":");
    if (colon == std::string::npos || colon == 0) continue;
    Check(expected < reply.Count(), "no line is lost");
    Check(reply.KeyAt(expected) == std::string_view(line).substr(0, colon), "the key is the text before the colon");
    const std::size_t value = std::min(line.find_first_not_of(' ', colon + 1), line.size());
    Check(reply.ValueAt(expected) == std::string_view(line).substr(value),
          "the value is the rest of the line without its leading spaces");
    ++expected;
  }
  Check(reply.Count() == expected, "one pair per usable line");
  for (int i = 0; i < reply.Count(); ++i) {
    const std::string& key = reply.KeyAt(i);
    int first = 0;
    while (reply.KeyAt(first) != key) ++first;
    Check(reply.ValueOf(key) == reply.ValueAt(first), "a lookup gives the first pair of its key");
  }
  for (const int bad : {-1, reply.Count()}) {
    try {
      (void)reply.KeyAt(bad);
      Check(false, "an index outside the pairs is refused");
    } catch (const EListError&) {
    }
  }
  THeadValue copy;
  copy.Assign(reply);
  Check(copy.Count() == reply.Count(), "a copy holds every pair");
  return 0;
}
