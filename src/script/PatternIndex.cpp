// Building the per-byte lists of pattern lines.
#include "script/PatternIndex.h"

#include <algorithm>
#include <string_view>

namespace hollowmere {

void TPatternIndex::Build(const std::vector<std::string>& lines, std::size_t bodyAt,
                          bool isTagList) {
  for (auto& list : byByte_) list.clear();
  const auto wellFormed = [&](const std::string& line) {
    return !isTagList || line[0] == '\\' || line[0] == '!';
  };
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.empty()) continue;
    // "%" starts a directive, which may take more than one fixed byte.
    const bool fixes = wellFormed(line) && line.size() > bodyAt && line[bodyAt] != '%';
    TPatternCandidate candidate{static_cast<uint32_t>(k), 0, false, '\0'};
    if (fixes) {
      // A "%" there would start a directive; anything else must be equal.
      if (line[bodyAt] != '\0' && line.size() > bodyAt + 1 && line[bodyAt + 1] != '%') {
        candidate.HasSecond = true;
        candidate.Second = line[bodyAt + 1];
      }
      byByte_[static_cast<unsigned char>(line[bodyAt])].push_back(candidate);
    } else {
      for (auto& list : byByte_) list.push_back(candidate);
    }
  }
  const auto countShared = [&](std::vector<TPatternCandidate>& list) {
    for (std::size_t i = 1; i < list.size(); ++i) {
      list[i].Shared = 0;
      const std::string& before = lines[list[i - 1].Line];
      const std::string& line = lines[list[i].Line];
      if (!wellFormed(before) || !wellFormed(line)) continue;
      const std::string_view a = std::string_view(before).substr(std::min(bodyAt, before.size()));
      const std::string_view b = std::string_view(line).substr(std::min(bodyAt, line.size()));
      const auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
      list[i].Shared = static_cast<uint32_t>(diff.first - a.begin());
    }
  };
  for (auto& list : byByte_) countShared(list);

  // The second-byte lists hold up to 256 copies of each first-byte list; past
  // this many entries in all (never for pattern files of sensible size) the
  // remaining first bytes keep their one list, and the scan passes over the
  // lines of another second byte itself.
  constexpr std::size_t kSecondListBudget = std::size_t{1} << 18;
  std::size_t entries = 0;
  for (std::size_t first = 0; first < 256; ++first) {
    const std::vector<TPatternCandidate>& list = byByte_[first];
    bySecond_[first].reset();
    if (std::none_of(list.begin(), list.end(), [](const TPatternCandidate& c) { return c.HasSecond; })) {
      continue;  // nothing to leave out: the one list serves every next byte
    }
    entries += 256 * list.size();
    if (entries > kSecondListBudget) continue;
    auto bySecond = std::make_shared<SecondLists>();
    for (std::size_t next = 0; next < 256; ++next) {
      std::vector<TPatternCandidate>& kept = (*bySecond)[next];
      for (const TPatternCandidate& c : list) {
        if (!c.HasSecond || c.Second == static_cast<char>(next)) kept.push_back(c);
      }
      countShared(kept);
    }
    bySecond_[first] = std::move(bySecond);
  }
}

}  // namespace hollowmere
