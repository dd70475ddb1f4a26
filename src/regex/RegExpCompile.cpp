// NFA construction from the parse tree and subset construction of the DFA;
// see RegExpCompile.h for the invariants on states and ranges.
#include "regex/RegExpCompile.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "text/Sjis.h"

namespace hollowmere::regex {

std::size_t TRE_NFAStateSet::Hash() const {
  std::size_t h = 0xcbf29ce484222325ull;
  for (uint64_t w : bits_) {
    h ^= w + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
  }
  return h;
}

TRE_NFA::TRE_NFA(const TREParseTree& tree, int32_t root) {
  NewState();  // kStart
  NewState();  // kFinal
  GenerateStateList(tree, root);
}

int32_t TRE_NFA::NewState() {
  states_.emplace_back();
  return static_cast<int32_t>(states_.size() - 1);
}

void TRE_NFA::GenerateStateList(const TREParseTree& tree, int32_t root) {
  // Iterative, so that long patterns (deep concatenation chains) cannot
  // exhaust the stack.
  struct Work {
    int32_t node;
    int32_t from;
    int32_t to;
  };
  std::vector<Work> work{{root, kStart, kFinal}};
  while (!work.empty()) {
    const Work w = work.back();
    work.pop_back();
    const TRENode& n = tree.Node(w.node);
    switch (n.kind) {
      case NodeKind::Range:
        Add(w.from, n.low, n.high, w.to);
        break;
      case NodeKind::LineHead:
        if (w.from == kStart) {
          beginsWithLineHead_ = true;
          Add(w.from, kLineHeadCode, kLineHeadCode, w.to);
        } else {
          Add(w.from, '^', '^', w.to);
        }
        break;
      case NodeKind::LineTail:
        if (w.to == kFinal) {
          endsWithLineTail_ = true;
          Add(w.from, kLineTailCode, kLineTailCode, w.to);
        } else {
          Add(w.from, '$', '$', w.to);
        }
        break;
      case NodeKind::Concat: {
        const int32_t middle = NewState();
        work.push_back({n.right, middle, w.to});
        work.push_back({n.left, w.from, middle});
        break;
      }
      case NodeKind::Union:
        work.push_back({n.right, w.from, w.to});
        work.push_back({n.left, w.from, w.to});
        break;
      case NodeKind::Star: {
        const int32_t c = NewState();
        const int32_t d = NewState();
        Add(w.from, kEpsilonCode, kEpsilonCode, c);
        Add(d, kEpsilonCode, kEpsilonCode, c);
        Add(c, kEpsilonCode, kEpsilonCode, w.to);
        work.push_back({n.left, c, d});
        break;
      }
      case NodeKind::Empty:
        Add(w.from, kEpsilonCode, kEpsilonCode, w.to);
        break;
      default:
        throw std::logic_error("This cannot happen in TRE_NFA.GenerateStateList");
    }
  }
}

namespace {

struct SetHash {
  std::size_t operator()(const TRE_NFAStateSet& s) const { return s.Hash(); }
};

void CloseUnderEpsilon(const TRE_NFA& nfa, TRE_NFAStateSet& set, std::vector<int32_t>& stack) {
  stack.clear();
  set.ForEach([&](int32_t s) { stack.push_back(s); });
  while (!stack.empty()) {
    const int32_t s = stack.back();
    stack.pop_back();
    for (const auto& t : nfa.Transitions(s)) {
      if (t.low == kEpsilonCode && !set.Has(t.target)) {
        set.Include(t.target);
        stack.push_back(t.target);
      }
    }
  }
}

// A code a text can produce: one byte, or a lead byte with any trail byte.
bool IsTextCode(int32_t code) {
  return code >= 0 && (code <= 0xFF || (code <= 0xFCFF && text::IsLeadByte(static_cast<unsigned char>(code >> 8))));
}

}  // namespace

TRE_DFA::TRE_DFA(const TRE_NFA& nfa) {
  // The alphabet: every range on a non-empty transition.
  std::vector<std::pair<int32_t, int32_t>> ranges;
  for (std::size_t s = 0; s < nfa.StateCount(); ++s) {
    for (const auto& t : nfa.Transitions(static_cast<int32_t>(s))) {
      if (t.low != kEpsilonCode) ranges.emplace_back(t.low, t.high);
    }
  }
  std::sort(ranges.begin(), ranges.end());
  ranges.erase(std::unique(ranges.begin(), ranges.end()), ranges.end());
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (i > 0 && ranges[i].first <= ranges[i - 1].second) {
      throw std::logic_error("overlapping ranges reached the automaton");
    }
    atomLow_.push_back(ranges[i].first);
    atomHigh_.push_back(ranges[i].second);
  }
  atomCount_ = static_cast<int32_t>(atomLow_.size());

  const std::size_t nfaStates = nfa.StateCount();
  std::vector<TRE_NFAStateSet> sets;
  std::unordered_map<TRE_NFAStateSet, int32_t, SetHash> registered;
  std::vector<int32_t> stack;
  auto registerSet = [&](TRE_NFAStateSet&& set) -> int32_t {
    if (auto it = registered.find(set); it != registered.end()) return it->second;
    const auto index = static_cast<int32_t>(states_.size());
    State state;
    state.accepting = set.Has(TRE_NFA::kFinal);
    states_.push_back(std::move(state));
    registered.emplace(set, index);
    sets.push_back(std::move(set));
    return index;
  };

  TRE_NFAStateSet initial(nfaStates);
  initial.Include(TRE_NFA::kStart);
  CloseUnderEpsilon(nfa, initial, stack);
  registerSet(std::move(initial));

  std::vector<std::pair<int32_t, int32_t>> moves;  // (atom, NFA target)
  for (std::size_t processed = 0; processed < states_.size(); ++processed) {
    moves.clear();
    sets[processed].ForEach([&](int32_t s) {
      for (const auto& t : nfa.Transitions(s)) {
        if (t.low == kEpsilonCode) continue;
        moves.emplace_back(AtomOf(t.low), t.target);
      }
    });
    std::sort(moves.begin(), moves.end());
    std::vector<Transition> transitions;
    for (std::size_t i = 0; i < moves.size();) {
      const int32_t atom = moves[i].first;
      TRE_NFAStateSet targets(nfaStates);
      for (; i < moves.size() && moves[i].first == atom; ++i) targets.Include(moves[i].second);
      CloseUnderEpsilon(nfa, targets, stack);
      const int32_t target = registerSet(std::move(targets));
      transitions.push_back({atomLow_[atom], atomHigh_[atom], target});
    }
    // Atoms are ascending, so the list is already sorted by range.
    states_[processed].transitions = std::move(transitions);
  }

  beginsWithLineHead_ = nfa.BeginsWithLineHead();
  endsWithLineTail_ = nfa.EndsWithLineTail();
  BuildTables();
}

int32_t TRE_DFA::AtomOf(int32_t code) const {
  auto it = std::upper_bound(atomLow_.begin(), atomLow_.end(), code);
  if (it == atomLow_.begin()) return -1;
  const auto atom = static_cast<int32_t>(it - atomLow_.begin() - 1);
  return code <= atomHigh_[atom] ? atom : -1;
}

int32_t TRE_DFA::Lookup(int32_t state, int32_t code) const {
  for (const auto& t : states_[state].transitions) {
    if (t.low > code) return -1;
    if (code <= t.high) return t.target;
  }
  return -1;
}

void TRE_DFA::BuildTables() {
  const std::size_t count = states_.size();
  accepting_.resize(count);
  next_.assign(count * atomCount_, -1);
  for (std::size_t s = 0; s < count; ++s) {
    accepting_[s] = states_[s].accepting;
    for (const auto& t : states_[s].transitions) {
      next_[s * atomCount_ + AtomOf(t.low)] = t.target;
    }
  }

  int32_t byteAtom[256];
  for (int b = 0; b < 256; ++b) byteAtom[b] = AtomOf(b);
  byteNext_.assign(count * 256, -1);
  for (std::size_t s = 0; s < count; ++s) {
    for (int b = 0; b < 256; ++b) {
      if (byteAtom[b] >= 0) byteNext_[s * 256 + b] = next_[s * atomCount_ + byteAtom[b]];
    }
  }
  runNext_ = byteNext_;
  for (std::size_t s = 0; s < count; ++s) {
    for (int b = 0; b < 256; ++b) {
      if (text::IsLeadByte(static_cast<unsigned char>(b))) runNext_[s * 256 + b] = kLeadByte;
    }
  }

  for (int h = 0; h < 256; ++h) {
    const int32_t low = h * 256;
    const int32_t high = low + 255;
    const int32_t atom = AtomOf(low);
    if (atom >= 0 && atomHigh_[atom] >= high) {
      leadAtom_[h] = atom;
      continue;
    }
    // Any atom starting inside (low, high]?
    auto it = std::upper_bound(atomLow_.begin(), atomLow_.end(), low);
    const bool another = it != atomLow_.end() && *it <= high;
    leadAtom_[h] = (atom < 0 && !another) ? -1 : kMixedLead;
  }

  headAtom_ = AtomOf(kLineHeadCode);
  tailAtom_ = AtomOf(kLineTailCode);

  stopsAtNul_ = true;
  for (std::size_t s = 0; s < count && stopsAtNul_; ++s) {
    if (byteNext_[s * 256] >= 0) stopsAtNul_ = false;
    for (int b = 0; b < 256 && stopsAtNul_; ++b) {
      if (!text::IsLeadByte(static_cast<unsigned char>(b))) continue;
      if (byteNext_[s * 256 + b] >= 0 || NextOnDoubleByte(static_cast<int32_t>(s), b * 256) >= 0) {
        stopsAtNul_ = false;
      }
    }
  }

  // Filters for the plain search. With an accepting start every position
  // matches, so there is nothing to skip.
  if (count == 0) return;
  if (accepting_[0]) {
    std::fill(std::begin(firstByte_), std::end(firstByte_), true);
    return;
  }
  int firstCount = 0;
  for (int b = 0; b < 256; ++b) {
    bool can = byteNext_[b] >= 0;
    if (!can && text::IsLeadByte(static_cast<unsigned char>(b))) {
      for (int32_t a = 0; a < atomCount_ && !can; ++a) {
        if (atomHigh_[a] >= b * 256 && atomLow_[a] <= b * 256 + 255 && next_[a] >= 0) can = true;
      }
    }
    firstByte_[b] = can;
    if (can) {
      ++firstCount;
      singleFirstByte_ = b;
    }
  }
  if (firstCount != 1) singleFirstByte_ = -1;
  if (singleFirstByte_ >= 0) singleFinder_ = TSubstringFinder(std::string(1, static_cast<char>(singleFirstByte_)));

  std::string prefix;
  bool skipping = true;
  int32_t s = 0;
  while (!accepting_[s] && states_[s].transitions.size() == 1 && prefix.size() < 64) {
    const Transition& t = states_[s].transitions.front();
    if (t.low != t.high || !IsTextCode(t.low)) break;
    if (t.low > 0xFF) prefix.push_back(static_cast<char>(t.low >> 8));
    prefix.push_back(static_cast<char>(t.low & 0xFF));
    // A one-byte code with a lead byte's value is read from text only as the
    // last byte; the run must see such a byte itself.
    if (t.low <= 0xFF && text::IsLeadByte(static_cast<unsigned char>(t.low))) skipping = false;
    s = t.target;
    if (skipping) {
      prefixSkip_ = prefix.size();
      prefixState_ = s;
    }
  }
  prefixFinder_ = TSubstringFinder(std::move(prefix));
}

}  // namespace hollowmere::regex
