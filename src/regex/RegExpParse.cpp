// Parse trees and the parser; see RegExpParse.h for the leaf invariants.
#include "regex/RegExpParse.h"

#include <algorithm>
#include <stdexcept>

namespace hollowmere::regex {

namespace {

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

// Sorted, merged copy of `ranges`, with the reserved codes cut out (they are
// no text character, so a class reaching them loses nothing).
Ranges Normalise(Ranges ranges) {
  Ranges clipped;
  for (auto [low, high] : ranges) {
    if (low < kLineHeadCode) {
      clipped.emplace_back(low, std::min(high, kLineHeadCode - 1));
    }
    if (high > kEpsilonCode) clipped.emplace_back(std::max(low, kEpsilonCode + 1), high);
  }
  std::sort(clipped.begin(), clipped.end());
  Ranges merged;
  for (auto r : clipped) {
    if (!merged.empty() && r.first <= merged.back().second + 1) {
      merged.back().second = std::max(merged.back().second, r.second);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

const Ranges& AnyCharRanges() {
  static const Ranges ranges = {{0x01, 0x09}, {0x0B, 0x0C}, {0x0E, kAnyCharHigh}};
  return ranges;
}

}  // namespace

int32_t TREParseTree::MakeRange(int32_t low, int32_t high) {
  const auto key = std::make_pair(low, high);
  if (auto it = leaves_.find(key); it != leaves_.end()) return it->second;
  TRENode node;
  node.kind = NodeKind::Range;
  node.low = low;
  node.high = high;
  nodes_.push_back(node);
  const auto index = static_cast<int32_t>(nodes_.size() - 1);
  leaves_.emplace(key, index);
  return index;
}

int32_t TREParseTree::MakeNode(NodeKind kind, int32_t left, int32_t right) {
  TRENode node;
  node.kind = kind;
  node.left = left;
  node.right = right;
  nodes_.push_back(node);
  return static_cast<int32_t>(nodes_.size() - 1);
}

int32_t TREParseTree::MakeUnion(int32_t left, int32_t right) {
  if (left < 0 || right < 0) throw std::logic_error(msg::TreeFatal());
  return MakeNode(NodeKind::Union, left, right);
}

int32_t TREParseTree::MakeRangeUnion(const Ranges& ranges) {
  if (ranges.empty()) return MakeRange(kNoCharacter, kNoCharacter);
  // Balanced, so that long unions do not make deep trees.
  auto build = [&](auto& self, std::size_t from, std::size_t to) -> int32_t {
    if (to - from == 1) return MakeRange(ranges[from].first, ranges[from].second);
    const std::size_t mid = from + (to - from) / 2;
    const int32_t left = self(self, from, mid);
    const int32_t right = self(self, mid, to);
    return MakeUnion(left, right);
  };
  return build(build, 0, ranges.size());
}

int32_t TREParseTree::MakeAnyCharTree() { return MakeRangeUnion(AnyCharRanges()); }

int32_t TREParseTree::MakeNegatedClass(Ranges items) {
  const Ranges cut = Normalise(std::move(items));
  Ranges remaining;
  for (auto [low, high] : AnyCharRanges()) {
    int32_t from = low;
    for (auto [ilow, ihigh] : cut) {
      if (ihigh < from || ilow > high) continue;
      if (ilow > from) remaining.emplace_back(from, ilow - 1);
      from = ihigh + 1;
      if (from > high) break;
    }
    if (from <= high) remaining.emplace_back(from, high);
  }
  return MakeRangeUnion(remaining);
}

void TREParseTree::MakeLeavesDisjoint() {
  std::vector<int32_t> bounds;
  bool hasHead = false;
  bool hasTail = false;
  std::vector<int32_t> leafNodes;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const TRENode& n = nodes_[i];
    if (n.kind == NodeKind::Range) {
      bounds.push_back(n.low);
      bounds.push_back(n.high + 1);
      leafNodes.push_back(static_cast<int32_t>(i));
    } else if (n.kind == NodeKind::LineHead) {
      hasHead = true;
    } else if (n.kind == NodeKind::LineTail) {
      hasTail = true;
    }
  }
  // "^" and "$" away from the pattern's ends become these plain characters.
  if (hasHead) {
    bounds.push_back('^');
    bounds.push_back('^' + 1);
  }
  if (hasTail) {
    bounds.push_back('$');
    bounds.push_back('$' + 1);
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

  for (int32_t index : leafNodes) {
    const int32_t low = nodes_[index].low;
    const int32_t high = nodes_[index].high;
    auto first = std::upper_bound(bounds.begin(), bounds.end(), low);
    auto last = std::lower_bound(bounds.begin(), bounds.end(), high + 1);
    if (first >= last) continue;  // already a single piece
    Ranges pieces;
    int32_t from = low;
    for (auto it = first; it != last; ++it) {
      pieces.emplace_back(from, *it - 1);
      from = *it;
    }
    pieces.emplace_back(from, high);
    leaves_.erase({low, high});
    const int32_t replacement = MakeRangeUnion(pieces);
    // The leaf node becomes the union, so every parent sees the pieces.
    nodes_[index] = nodes_[replacement];
  }
}

int32_t TREParser::Run() {
  Advance();
  const int32_t root = Pattern();
  if (token_.kind != TokenKind::End) scanner_.Fail(msg::TrailingText());
  return root;
}

int32_t TREParser::Pattern() {
  int32_t node = Branch();
  while (token_.kind == TokenKind::UnionBar) {
    Advance();
    const int32_t right = Branch();
    node = tree_.MakeUnion(node, right);
  }
  return node;
}

int32_t TREParser::Branch() {
  if (EndsBranch()) return tree_.MakeNode(NodeKind::Empty);
  int32_t node = Item();
  while (!EndsBranch()) {
    const int32_t right = Item();
    node = tree_.MakeNode(NodeKind::Concat, node, right);
  }
  return node;
}

int32_t TREParser::Item() {
  const int32_t primary = Primary();
  switch (token_.kind) {
    case TokenKind::Star:
      Advance();
      return tree_.MakeNode(NodeKind::Star, primary);
    case TokenKind::Plus: {
      Advance();
      const int32_t star = tree_.MakeNode(NodeKind::Star, primary);
      return tree_.MakeNode(NodeKind::Concat, primary, star);
    }
    case TokenKind::Optional: {
      Advance();
      const int32_t empty = tree_.MakeNode(NodeKind::Empty);
      return tree_.MakeUnion(primary, empty);
    }
    default:
      return primary;
  }
}

int32_t TREParser::Primary() {
  int32_t node = -1;
  switch (token_.kind) {
    case TokenKind::Literal: {
      const int32_t code = LiteralCode(token_.code);
      node = tree_.MakeRange(code, code);
      break;
    }
    case TokenKind::GroupOpen:
      Advance();
      node = Pattern();
      if (token_.kind != TokenKind::GroupClose) scanner_.Fail(msg::NeedParen());
      break;
    case TokenKind::ClassOpen:
      node = Class(false);
      break;
    case TokenKind::NegatedClassOpen:
      node = Class(true);
      break;
    case TokenKind::AnyChar:
      node = tree_.MakeAnyCharTree();
      break;
    case TokenKind::LineHead:
      node = tree_.MakeNode(NodeKind::LineHead);
      break;
    case TokenKind::LineTail:
      node = tree_.MakeNode(NodeKind::LineTail);
      break;
    default:
      scanner_.Fail(msg::NeedPrimary());
  }
  Advance();
  return node;
}

int32_t TREParser::Class(bool negated) {
  Ranges items;
  for (;;) {
    const ClassItem item = scanner_.GetClassItem();
    if (item.close) break;
    items.emplace_back(item.low, item.high);
  }
  if (items.empty()) scanner_.Fail(msg::EmptyClass());
  if (negated) return tree_.MakeNegatedClass(std::move(items));
  // Items that are only reserved codes leave the impossible character.
  for (auto& [low, high] : items) {
    if (low == high) low = high = LiteralCode(low);
  }
  return tree_.MakeRangeUnion(Normalise(std::move(items)));
}

}  // namespace hollowmere::regex
