// An INI file's text held in memory, parsed once, with the private-profile
// rules of reading and single-key editing; TIniFile and TMemIniFile sit on it.
// Only the first section of a name counts, and in it the first key of a
// name; names match without regard to ASCII case. An edit changes one line
// (a new key goes after the section's last non-blank line, a new section at
// the end after one blank line) and Bytes() gives every other line as it
// was, each followed by CR LF.
// Invariant: lookups and edits cost the same however many keys the text
// holds (hashed names; removed lines are skipped, not erased).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hollowmere {

class TIniText {
 public:
  TIniText() = default;
  explicit TIniText(std::string_view bytes);

  // The value as reading gives it: without outer blanks and one pair of
  // enclosing quotes, cut to 2047 bytes; nullopt when the key is absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // Raises std::invalid_argument for a name or value holding a line break
  // and for a key that would make its line a section header ("[...").
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // False (and nothing changed) when there was no such key.
  bool Remove(std::string_view section, std::string_view key);
  std::string Bytes() const;

 private:
  struct Line {
    std::string text;
    bool removed = false;
  };
  // Body lines holding a key, by folded name, in file order; `head` skips
  // the ones removed from the front.
  struct KeyLines {
    std::vector<std::size_t> at;
    std::size_t head = 0;
  };
  struct Section {
    std::string header;
    // Ends with a line that is neither blank nor removed, or is empty;
    // the blank lines after it are in `tailReversed`, last first (a
    // vector, unlike a deque, costs nothing while it is empty).
    std::vector<Line> body;
    std::vector<std::string> tailReversed;
    std::unordered_map<std::string, KeyLines> keys;  // first section of a name only
  };

  const Section* FindSection(std::string_view section) const;
  void Index(std::size_t sectionIndex);
  static void TrimBody(Section& section);

  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> first_;  // folded name -> first section of it
};

}  // namespace hollowmere
