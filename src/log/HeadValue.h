// Key-and-value lines ("Key: value") as the service replies to votes.
// Pairs are stored flat (key at 2i, value at 2i+1), keep the order of their
// lines, may repeat a key, and never have an empty key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/Error.h"

namespace hollowmere {

class EListError : public Error {
 public:
  using Error::Error;
};

class THeadValue {
 public:
  THeadValue() = default;
  explicit THeadValue(std::string_view text) { Parse(text); }

  // Replaces every pair by those of the text's lines; unusable lines are skipped.
  void Parse(std::string_view text);

  int Count() const { return static_cast<int>(items_.size() / 2); }
  // Index outside 0..Count()-1 raises EListError.
  const std::string& KeyAt(int i) const;
  const std::string& ValueAt(int i) const;
  // Value of the first pair with exactly this key; empty when there is none.
  std::string ValueOf(std::string_view key) const;

  void Assign(const THeadValue& source) { items_ = source.items_; }

 private:
  const std::string& At(int i, int offset) const;
  std::vector<std::string> items_;
};

}  // namespace hollowmere
