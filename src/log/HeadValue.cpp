// Parsing of key-and-value reply lines.
#include "log/HeadValue.h"

#include "text/Sjis.h"

namespace hollowmere {

void THeadValue::Parse(std::string_view text) {
  items_.clear();
  for (const std::string& line : text::SplitLines(text)) {
    const std::size_t colon = text::Find(line, ":");
    if (colon == std::string::npos || colon == 0) continue;
    std::size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    items_.push_back(line.substr(0, colon));
    items_.push_back(line.substr(v));
  }
}

const std::string& THeadValue::At(int i, int offset) const {
  if (i < 0 || i >= Count()) {
    throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  }
  return items_[static_cast<std::size_t>(i) * 2 + offset];
}

const std::string& THeadValue::KeyAt(int i) const { return At(i, 0); }
const std::string& THeadValue::ValueAt(int i) const { return At(i, 1); }

std::string THeadValue::ValueOf(std::string_view key) const {
  for (std::size_t i = 0; i < items_.size(); i += 2) {
    if (items_[i] == key) return items_[i + 1];
  }
  return std::string();
}

}  // namespace hollowmere
