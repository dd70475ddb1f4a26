// Compilation of a parse tree into a nondeterministic automaton and of that
// into the deterministic automaton that searches run.
//
// Invariants: NFA state 0 is the start and state 1 the final state; a "^"
// becomes the line-head code only on a transition leaving the start state and
// a "$" the line-tail code only on one entering the final state, anywhere else
// they are the plain characters. The ranges on NFA transitions come from a
// tree whose leaves are disjoint, so they are the DFA's alphabet ("atoms"):
// equal or disjoint, never overlapping. DFA state 0 is the start state. The
// lookup tables of a TRE_DFA are derived from its sorted transition lists and
// agree with them for every code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "regex/RegExpParse.h"
#include "regex/SubstringFinder.h"

namespace hollowmere::regex {

// A set of NFA states, one bit per state.
class TRE_NFAStateSet {
 public:
  explicit TRE_NFAStateSet(std::size_t stateCount) : bits_((stateCount + 63) / 64, 0) {}
  void Include(int32_t state) { bits_[state >> 6] |= uint64_t{1} << (state & 63); }
  bool Has(int32_t state) const { return (bits_[state >> 6] >> (state & 63)) & 1; }
  bool operator==(const TRE_NFAStateSet& other) const { return bits_ == other.bits_; }
  std::size_t Hash() const;
  template <typename F>
  void ForEach(F&& f) const {
    for (std::size_t w = 0; w < bits_.size(); ++w) {
      uint64_t word = bits_[w];
      while (word != 0) {
        f(static_cast<int32_t>(w * 64 + __builtin_ctzll(word)));
        word &= word - 1;
      }
    }
  }

 private:
  std::vector<uint64_t> bits_;
};

class TRE_NFA {
 public:
  struct Transition {
    int32_t low;  // kEpsilonCode for an empty transition
    int32_t high;
    int32_t target;
  };
  static constexpr int32_t kStart = 0;
  static constexpr int32_t kFinal = 1;

  TRE_NFA(const TREParseTree& tree, int32_t root);

  std::size_t StateCount() const { return states_.size(); }
  const std::vector<Transition>& Transitions(int32_t state) const { return states_[state]; }
  bool BeginsWithLineHead() const { return beginsWithLineHead_; }
  bool EndsWithLineTail() const { return endsWithLineTail_; }

 private:
  int32_t NewState();
  void Add(int32_t from, int32_t low, int32_t high, int32_t to) { states_[from].push_back({low, high, to}); }
  void GenerateStateList(const TREParseTree& tree, int32_t root);

  std::vector<std::vector<Transition>> states_;
  bool beginsWithLineHead_ = false;
  bool endsWithLineTail_ = false;
};

class TRE_DFA {
 public:
  struct Transition {
    int32_t low;
    int32_t high;
    int32_t target;
  };
  struct State {
    bool accepting = false;
    std::vector<Transition> transitions;  // ascending by range
  };

  explicit TRE_DFA(const TRE_NFA& nfa);

  bool BeginsWithLineHead() const { return beginsWithLineHead_; }
  bool EndsWithLineTail() const { return endsWithLineTail_; }
  const std::vector<State>& States() const { return states_; }
  std::size_t StateCount() const { return states_.size(); }
  bool Accepting(int32_t state) const { return accepting_[state]; }

  // Target of `state` on `code` by walking its sorted list; -1 when none.
  int32_t Lookup(int32_t state, int32_t code) const;

  // Fast equivalents used by the searches.
  // Target on a one-byte character code `b` (0-255); -1 when none.
  int32_t NextOnByte(int32_t state, unsigned char b) const { return byteNext_[state * 256 + b]; }
  // The search loop's table, one lookup a byte: state * 256 + byte -> the
  // target on that one-byte character, -1 when none, or kLeadByte when the
  // byte leads a double-byte character (which the slower path reads).
  static constexpr int32_t kLeadByte = -2;
  const int32_t* RunTable() const { return runNext_.data(); }
  const uint8_t* AcceptingTable() const { return accepting_.data(); }
  // Target on a double-byte character code; -1 when none.
  int32_t NextOnDoubleByte(int32_t state, int32_t code) const {
    int32_t atom = leadAtom_[code >> 8];
    if (atom == kMixedLead) atom = AtomOf(code);
    return atom < 0 ? -1 : next_[state * atomCount_ + atom];
  }
  // True when `state` has a transition on the line-tail code.
  bool HasLineTail(int32_t state) const { return tailAtom_ >= 0 && next_[state * atomCount_ + tailAtom_] >= 0; }
  // Target of `state` on the line-head code; -1 when none.
  int32_t NextOnLineHead(int32_t state) const { return headAtom_ < 0 ? -1 : next_[state * atomCount_ + headAtom_]; }

  // Search filters for the plain search.
  // Bytes every match (from a non-accepting start) begins with; may be empty.
  const std::string& RequiredPrefix() const { return prefixFinder_.Needle(); }
  const TSubstringFinder& PrefixFinder() const { return prefixFinder_; }
  // Where a run from the start state stands after the first PrefixSkip()
  // bytes of the prefix (read as the text reads them), so a run at a found
  // prefix can begin there.
  std::size_t PrefixSkip() const { return prefixSkip_; }
  int32_t PrefixState() const { return prefixState_; }
  // Bytes that can be the first byte of a match (a lead byte counts when any
  // character it leads can start one).
  bool CanStartWith(unsigned char b) const { return firstByte_[b]; }
  // The only byte that can start a match, or -1 when there are several.
  int SingleFirstByte() const { return singleFirstByte_; }
  // A finder for that byte alone (empty when there is no such byte).
  const TSubstringFinder& SingleFirstByteFinder() const { return singleFinder_; }
  // True when no run can step onto a NUL byte, whether read alone, as the
  // trail of a double-byte character, or after a lead byte read alone (as
  // at the end of a text): a run then stops at a NUL exactly as it stops at
  // the end of a text that ends there.
  bool StopsAtNul() const { return stopsAtNul_; }

 private:
  static constexpr int32_t kMixedLead = -2;
  int32_t AtomOf(int32_t code) const;
  void BuildTables();

  std::vector<State> states_;
  std::vector<uint8_t> accepting_;
  bool beginsWithLineHead_ = false;
  bool endsWithLineTail_ = false;

  // The alphabet: disjoint ranges, ascending.
  std::vector<int32_t> atomLow_;
  std::vector<int32_t> atomHigh_;
  int32_t atomCount_ = 0;
  std::vector<int32_t> next_;      // state * atomCount_ + atom -> target or -1
  std::vector<int32_t> byteNext_;  // state * 256 + byte -> target or -1
  std::vector<int32_t> runNext_;   // as byteNext_, with kLeadByte for lead bytes
  int32_t leadAtom_[256];          // atom of every code with that high byte, -1, or kMixedLead
  int32_t headAtom_ = -1;
  int32_t tailAtom_ = -1;

  TSubstringFinder prefixFinder_;
  std::size_t prefixSkip_ = 0;
  int32_t prefixState_ = 0;
  bool firstByte_[256] = {};
  int singleFirstByte_ = -1;
  TSubstringFinder singleFinder_;
  bool stopsAtNul_ = false;
};

}  // namespace hollowmere::regex
