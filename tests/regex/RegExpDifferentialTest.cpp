// Random patterns from a small grammar, over random Shift_JIS texts, checked
// against a brute-force matcher that works on decoded characters and tries
// every start and every end. Covers plain patterns, "^X" and "X$", searching
// and replace-all (with empty matches) under both line separators, and that a
// NUL ends what replace-all searches.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "regex/RegExpTestSupport.h"

namespace hollowmere::regex_test {
namespace {

// Characters of the texts: ASCII, backslash, line breaks, and double-byte
// characters whose trail bytes look like "\" or "@" or are lead values.
const std::vector<std::string>& Alphabet() {
  static const std::vector<std::string> chars = {"a", "b", "c", "@", "\\", "\r", "\n",
                                                 "\x83\x5C", "\x81\x40", "\x88\x9F", "\x9F\x40"};
  return chars;
}

int32_t CodeOf(const std::string& ch) {
  return ch.size() == 2 ? static_cast<unsigned char>(ch[0]) * 256 + static_cast<unsigned char>(ch[1])
                        : static_cast<unsigned char>(ch[0]);
}

struct Node {
  enum Kind { Lit, Any, Class, Concat, Union, Star, Plus, Opt, Empty } kind;
  int32_t code = 0;
  bool negated = false;
  std::vector<std::pair<int32_t, int32_t>> items;
  std::shared_ptr<Node> a, b;
};
using NodePtr = std::shared_ptr<Node>;

bool InAnySet(int32_t c) { return (c >= 1 && c <= 9) || c == 11 || c == 12 || (c >= 14 && c <= 0xFCFC); }

bool InClass(const Node& n, int32_t c) {
  bool in = false;
  for (auto [lo, hi] : n.items) in = in || (c >= lo && c <= hi);
  return n.negated ? (InAnySet(c) && !in) : in;
}

// Every end index of a match of `n` starting at character `i`.
std::set<int> Ends(const Node& n, const std::vector<int32_t>& codes, int i) {
  const int size = static_cast<int>(codes.size());
  switch (n.kind) {
    case Node::Lit:
      if (i < size && codes[i] == n.code) return {i + 1};
      return {};
    case Node::Any:
      if (i < size && InAnySet(codes[i])) return {i + 1};
      return {};
    case Node::Class:
      if (i < size && InClass(n, codes[i])) return {i + 1};
      return {};
    case Node::Concat: {
      std::set<int> out;
      for (int e : Ends(*n.a, codes, i)) {
        auto more = Ends(*n.b, codes, e);
        out.insert(more.begin(), more.end());
      }
      return out;
    }
    case Node::Union: {
      auto out = Ends(*n.a, codes, i);
      auto more = Ends(*n.b, codes, i);
      out.insert(more.begin(), more.end());
      return out;
    }
    case Node::Star:
    case Node::Plus: {
      std::set<int> reached;
      std::vector<int> frontier;
      if (n.kind == Node::Star) {
        reached.insert(i);
        frontier.push_back(i);
      } else {
        for (int e : Ends(*n.a, codes, i)) {
          if (reached.insert(e).second) frontier.push_back(e);
        }
      }
      while (!frontier.empty()) {
        const int at = frontier.back();
        frontier.pop_back();
        for (int e : Ends(*n.a, codes, at)) {
          if (reached.insert(e).second) frontier.push_back(e);
        }
      }
      return reached;
    }
    case Node::Opt: {
      auto out = Ends(*n.a, codes, i);
      out.insert(i);
      return out;
    }
    case Node::Empty:
      return {i};
  }
  return {};
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // Pattern text and tree together; `lineBreaks` allows CR and LF literals.
  NodePtr Make(int depth, bool lineBreaks, std::string& out) {
    const int choice = depth <= 0 ? Pick(3) : Pick(9);
    auto n = std::make_shared<Node>();
    switch (choice) {
      case 0:
      case 1: {
        const std::string ch = Char(lineBreaks);
        n->kind = Node::Lit;
        n->code = CodeOf(ch);
        out += WriteLiteral(ch);
        return n;
      }
      case 2: {
        if (Pick(2) == 0) {
          n->kind = Node::Any;
          out += ".";
          return n;
        }
        n->kind = Node::Class;
        n->negated = Pick(3) == 0;
        out += n->negated ? "[^" : "[";
        const int count = 1 + Pick(3);
        for (int k = 0; k < count; ++k) {
          std::string lo = Char(lineBreaks), hi = Char(lineBreaks);
          if (CodeOf(hi) < CodeOf(lo)) std::swap(lo, hi);
          if (Pick(2) == 0) hi = lo;
          n->items.emplace_back(CodeOf(lo), CodeOf(hi));
          out += WriteClassChar(lo);
          if (hi != lo) out += "-" + WriteClassChar(hi);
        }
        out += "]";
        return n;
      }
      case 3:
      case 4: {
        n->kind = Node::Concat;
        n->a = Make(depth - 1, lineBreaks, out);
        n->b = Make(depth - 1, lineBreaks, out);
        return n;
      }
      case 5: {
        n->kind = Node::Union;
        out += "(";
        n->a = Make(depth - 1, lineBreaks, out);
        out += "|";
        if (Pick(6) == 0) {
          n->b = std::make_shared<Node>();
          n->b->kind = Node::Empty;
        } else {
          n->b = Make(depth - 1, lineBreaks, out);
        }
        out += ")";
        return n;
      }
      default: {
        static const Node::Kind kinds[] = {Node::Star, Node::Plus, Node::Opt};
        static const char* ops[] = {"*", "+", "?"};
        const int k = Pick(3);
        n->kind = kinds[k];
        out += "(";
        n->a = Make(depth - 1, lineBreaks, out);
        out += ")";
        out += ops[k];
        return n;
      }
    }
  }

  std::vector<std::string> Text() {
    std::vector<std::string> chars;
    const int length = Pick(10);
    for (int i = 0; i < length; ++i) chars.push_back(Alphabet()[Pick(static_cast<int>(Alphabet().size()))]);
    if (Pick(10) == 0) chars.push_back("\x88");  // a lone lead byte at the end
    return chars;
  }

 private:
  std::string Char(bool lineBreaks) {
    for (;;) {
      const std::string& ch = Alphabet()[Pick(static_cast<int>(Alphabet().size()))];
      if (lineBreaks || (ch != "\r" && ch != "\n")) return ch;
    }
  }
  std::string WriteLiteral(const std::string& ch) {
    if (ch == "\\") return "\\\\";
    if (ch == "\r") return "\\r";
    if (ch == "\n") return "\\n";
    if (Pick(8) == 0) {  // sometimes as a hexadecimal escape
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\x%04X", static_cast<unsigned>(CodeOf(ch)));
      return buf;
    }
    return ch;
  }
  std::string WriteClassChar(const std::string& ch) {
    if (ch == "\\") return "\\\\";
    if (ch == "\r") return "\\r";
    if (ch == "\n") return "\\n";
    return ch;
  }
  std::mt19937 rng_;
};

enum class Anchor { None, Head, Tail };

struct Reference {
  const Node& root;
  Anchor anchor;
  std::vector<int32_t> codes;
  int32_t separator;

  bool MatchesExactly(int from, int to) const { return Ends(root, codes, from).count(to) > 0; }

  // Leftmost-longest match from character `from`, as TAWKStr searches the
  // rest of a text that starts a line when `lineStart` is set.
  std::optional<std::pair<int, int>> Find(int from, bool lineStart) const {
    const int n = static_cast<int>(codes.size());
    if (anchor == Anchor::None) {
      if (from == n) {
        if (MatchesExactly(n, n)) return std::make_pair(n, n);
        return std::nullopt;
      }
      for (int i = from; i < n; ++i) {
        auto ends = Ends(root, codes, i);
        if (!ends.empty()) return std::make_pair(i, *ends.rbegin());
      }
      return std::nullopt;
    }
    for (int i = from; i <= n; ++i) {
      if (anchor == Anchor::Head) {
        const bool atLineStart = (i == from && lineStart) || (i > from && codes[i - 1] == '\n');
        if (!atLineStart) continue;
        auto ends = Ends(root, codes, i);
        if (!ends.empty()) return std::make_pair(i, *ends.rbegin());
      } else {
        int e = i;
        while (e < n && codes[e] != '\r' && codes[e] != '\n') ++e;
        if ((e == n || codes[e] == separator) && MatchesExactly(i, e)) return std::make_pair(i, e);
      }
    }
    return std::nullopt;
  }
};

std::string Join(const std::vector<std::string>& chars, int from, int to) {
  std::string s;
  for (int i = from; i < to; ++i) s += chars[i];
  return s;
}

std::pair<std::string, int> ReferenceReplaceAll(const Reference& ref, const std::vector<std::string>& chars, bool crlf) {
  const int n = static_cast<int>(chars.size());
  auto match = ref.Find(0, true);
  if (!match) return {Join(chars, 0, n), 0};
  std::string out;
  int count = 0;
  int rest = 0;
  for (;;) {
    out += Join(chars, rest, match->first) + "<" + Join(chars, match->first, match->second) + ">";
    int end = match->second;
    if (match->first == end && end < n) {
      const int step = (crlf && chars[end] == "\r" && end + 1 < n) ? 2 : 1;
      out += Join(chars, end, end + step);
      end += step;
    }
    ++count;
    rest = end;
    if (rest >= n) break;
    match = ref.Find(rest, chars[rest - 1] == "\n");
    if (!match) break;
  }
  return {out + Join(chars, rest, n), count};
}

int ByteOffset(const std::vector<std::string>& chars, int index) {
  int offset = 0;
  for (int i = 0; i < index; ++i) offset += static_cast<int>(chars[i].size());
  return offset;
}

TEST(RegExpDifferential, AgreesWithBruteForceLeftmostLongest) {
  Generator gen(20240601);
  int checked = 0;
  for (int round = 0; round < 1500; ++round) {
    const Anchor anchor = static_cast<Anchor>(round % 3);
    std::string body;
    const NodePtr root = gen.Make(1 + gen.Pick(4), anchor == Anchor::None, body);
    const std::string pattern = anchor == Anchor::Head ? "^(" + body + ")"
                                : anchor == Anchor::Tail ? "(" + body + ")$"
                                                          : body;
    for (int t = 0; t < 4; ++t) {
      const std::vector<std::string> chars = gen.Text();
      const std::string text = Join(chars, 0, static_cast<int>(chars.size()));
      std::vector<int32_t> codes;
      for (const auto& ch : chars) codes.push_back(CodeOf(ch));
      for (TMatchCORE_LineSeparator sep : {mcls_CRLF, mcls_LF}) {
        const Reference ref{*root, anchor, codes, sep == mcls_CRLF ? '\r' : '\n'};
        TAWKStr re;
        re.SetLineSeparator(sep);
        ASSERT_NO_THROW(re.SetRegExp(pattern)) << pattern;

        const auto expected = ref.Find(0, true);
        const auto actual = re.Find(text);
        ASSERT_EQ(actual.has_value(), expected.has_value())
            << "pattern " << testing::PrintToString(pattern) << " text " << testing::PrintToString(text);
        if (expected) {
          ASSERT_EQ(*actual, (TMatch{static_cast<std::size_t>(ByteOffset(chars, expected->first)),
                                     static_cast<std::size_t>(ByteOffset(chars, expected->second))}))
              << "pattern " << testing::PrintToString(pattern) << " text " << testing::PrintToString(text);
        }

        std::string replaced = text;
        const int count = re.ReplaceAll("<&>", replaced);
        const auto want = ReferenceReplaceAll(ref, chars, sep == mcls_CRLF);
        ASSERT_EQ((Replaced{replaced, count}), (Replaced{want.first, want.second}))
            << "pattern " << testing::PrintToString(pattern) << " text " << testing::PrintToString(text)
            << " separator " << sep;

        // Only the text before a NUL is searched, however the search finds
        // its end: a NUL alone, after a lead byte, or as a trail byte (when
        // it lands inside a character), with matches waiting after it.
        for (const std::string& cut : {std::string(1, '\0'), std::string("\x88\0", 2)}) {
          const std::string withNul = text.substr(0, gen.Pick(static_cast<int>(text.size()) + 1)) + cut + text;
          const std::size_t nul = withNul.find('\0');
          std::string whole = withNul;
          std::string head = withNul.substr(0, nul);
          const int wholeCount = re.ReplaceAll("<&>", whole);
          const int headCount = re.ReplaceAll("<&>", head);
          ASSERT_EQ((Replaced{whole, wholeCount}), (Replaced{head + withNul.substr(nul), headCount}))
              << "pattern " << testing::PrintToString(pattern) << " text " << testing::PrintToString(withNul);
        }
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 1500 * 4 * 2);
}

}  // namespace
}  // namespace hollowmere::regex_test
