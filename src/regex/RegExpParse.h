// Parse trees of patterns and the recursive-descent parser that builds them.
//
// Invariants: nodes are referred to by index into one vector owned by the
// tree; a character range leaf exists once per distinct range and is shared
// by every place that uses it (so "+" may share a whole subtree). After
// MakeLeavesDisjoint() any two range leaves are equal or disjoint, and every
// code a "^" or "$" node may stand for as a plain character is a leaf
// boundary too, so the automaton's transitions are on disjoint ranges.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/RegExpScanner.h"

namespace hollowmere::regex {

enum class NodeKind { Range, LineHead, LineTail, Concat, Union, Star, Empty };

struct TRENode {
  NodeKind kind = NodeKind::Empty;
  int32_t left = -1;   // Concat, Union, Star (the child)
  int32_t right = -1;  // Concat, Union
  int32_t low = 0;     // Range
  int32_t high = 0;    // Range
};

class TREParseTree {
 public:
  virtual ~TREParseTree() = default;

  int32_t MakeRange(int32_t low, int32_t high);
  int32_t MakeNode(NodeKind kind, int32_t left = -1, int32_t right = -1);
  int32_t MakeUnion(int32_t left, int32_t right);
  // Union of the given leaves ranges; the impossible character when empty.
  int32_t MakeRangeUnion(const std::vector<std::pair<int32_t, int32_t>>& ranges);
  // Every character except NUL, LF and CR.
  virtual int32_t MakeAnyCharTree();
  // Every character of the any-character set outside `items`.
  int32_t MakeNegatedClass(std::vector<std::pair<int32_t, int32_t>> items);

  // Rewrites overlapping leaves as unions of shared disjoint pieces.
  void MakeLeavesDisjoint();

  const TRENode& Node(int32_t index) const { return nodes_[index]; }
  std::size_t NodeCount() const { return nodes_.size(); }

 private:
  std::vector<TRENode> nodes_;
  std::map<std::pair<int32_t, int32_t>, int32_t> leaves_;
};

class TREParser {
 public:
  TREParser(std::string_view pattern, TREParseTree& tree) : scanner_(pattern), tree_(tree) {}
  // Parses the whole pattern and returns the root node.
  int32_t Run();

 private:
  void Advance() { token_ = scanner_.GetToken(); }
  bool EndsBranch() const {
    return token_.kind == TokenKind::UnionBar || token_.kind == TokenKind::GroupClose ||
           token_.kind == TokenKind::End;
  }
  int32_t Pattern();
  int32_t Branch();
  int32_t Item();
  int32_t Primary();
  int32_t Class(bool negated);

  TREScanner scanner_;
  TREParseTree& tree_;
  Token token_;
};

}  // namespace hollowmere::regex
