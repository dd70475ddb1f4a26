// Parsing, lookup and editing of an INI text. Removing a key marks its line
// instead of erasing it, so the positions of the keys after it stay valid;
// the marked lines are left out when the text is written.
#include "platform/IniFileText.h"

#include <stdexcept>
#include <utility>

#include "text/Sjis.h"

namespace hollowmere {
namespace {

constexpr std::size_t kMaxValueBytes = 2047;

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool Blank(std::string_view line) { return Trim(line).empty(); }

// Two names match exactly when their folded forms are equal: ASCII letters
// fold, the bytes of double-byte characters stay as they are.
std::string Fold(std::string_view name) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    if (text::IsLeadByte(folded[i]) && i + 1 < folded.size()) {
      ++i;
    } else if (folded[i] >= 'A' && folded[i] <= 'Z') {
      folded[i] = static_cast<char>(folded[i] + 32);
    }
  }
  return folded;
}

// "[name]" -> name; nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

TIniText::TIniText(std::string_view bytes) {
  text::TLineReader reader(bytes);
  std::string_view line;
  while (reader.Next(line)) {
    if (const auto name = SectionName(line)) {
      if (!sections_.empty()) TrimBody(sections_.back());
      sections_.push_back(Section{std::string(line), {}, {}, {}});
      first_.try_emplace(Fold(*name), sections_.size() - 1);
    } else if (sections_.empty()) {
      preamble_.emplace_back(line);
    } else {
      sections_.back().body.push_back(Line{std::string(line)});
    }
  }
  if (!sections_.empty()) TrimBody(sections_.back());
  for (const auto& [name, index] : first_) Index(index);
}

void TIniText::Index(std::size_t sectionIndex) {
  Section& section = sections_[sectionIndex];
  for (std::size_t i = 0; i < section.body.size(); ++i) {
    if (const auto kv = ParseKeyLine(section.body[i].text)) section.keys[Fold(kv->key)].at.push_back(i);
  }
}

void TIniText::TrimBody(Section& section) {
  while (!section.body.empty()) {
    Line& last = section.body.back();
    if (!last.removed && !Blank(last.text)) break;
    if (!last.removed) section.tailReversed.push_back(std::move(last.text));
    section.body.pop_back();
  }
}

const TIniText::Section* TIniText::FindSection(std::string_view section) const {
  const auto it = first_.find(Fold(section));
  return it == first_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> TIniText::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return std::nullopt;
  const auto k = s->keys.find(Fold(key));
  if (k == s->keys.end()) return std::nullopt;
  std::string_view value = ParseKeyLine(s->body[k->second.at[k->second.head]].text)->value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kMaxValueBytes));
}

void TIniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
    throw std::invalid_argument("an INI name or value cannot hold a line break");
  }
  // Such a line would read back as a section of its own.
  if (Trim(key).starts_with('[')) throw std::invalid_argument("an INI key cannot start with \"[\"");
  std::string line;
  line.reserve(key.size() + 1 + value.size());
  line.append(key).append("=").append(value);

  const auto found = first_.find(Fold(section));
  if (found == first_.end()) {
    const bool lastIsBlank = sections_.empty() ? preamble_.empty() || Blank(preamble_.back())
                                               : !sections_.back().tailReversed.empty();
    if (!lastIsBlank && sections_.empty()) preamble_.emplace_back();
    // The tail is empty here: its first line is also its last.
    if (!lastIsBlank && !sections_.empty()) sections_.back().tailReversed.emplace_back();
    std::string header = "[" + std::string(section) + "]";
    const std::string name = Fold(*SectionName(header));
    sections_.push_back(Section{std::move(header), {Line{std::move(line)}}, {}, {}});
    // A name holding "]" reads back as another name, which may be taken.
    if (first_.try_emplace(name, sections_.size() - 1).second) Index(sections_.size() - 1);
    return;
  }
  Section& s = sections_[found->second];
  if (const auto k = s.keys.find(Fold(key)); k != s.keys.end()) {
    s.body[k->second.at[k->second.head]].text = std::move(line);
    return;
  }
  s.body.push_back(Line{std::move(line)});
  // A key starting ";" or holding "=" reads back as a comment or another key.
  if (const auto kv = ParseKeyLine(s.body.back().text)) s.keys[Fold(kv->key)].at.push_back(s.body.size() - 1);
}

bool TIniText::Remove(std::string_view section, std::string_view key) {
  const auto found = first_.find(Fold(section));
  if (found == first_.end()) return false;
  Section& s = sections_[found->second];
  const auto k = s.keys.find(Fold(key));
  if (k == s.keys.end()) return false;
  const std::size_t at = k->second.at[k->second.head++];
  if (k->second.head == k->second.at.size()) s.keys.erase(k);
  s.body[at].removed = true;
  std::string().swap(s.body[at].text);
  if (at + 1 == s.body.size()) TrimBody(s);
  return true;
}

std::string TIniText::Bytes() const {
  std::size_t size = 0;
  const auto count = [&size](const std::string& line) { size += line.size() + 2; };
  for (const auto& line : preamble_) count(line);
  for (const auto& s : sections_) {
    count(s.header);
    for (const auto& line : s.body) count(line.text);
    for (const auto& line : s.tailReversed) count(line);
  }
  std::string out;
  out.reserve(size);
  const auto put = [&out](const std::string& line) { out.append(line).append("\r\n"); };
  for (const auto& line : preamble_) put(line);
  for (const auto& s : sections_) {
    put(s.header);
    for (const auto& line : s.body) {
      if (!line.removed) put(line.text);
    }
    for (auto line = s.tailReversed.rbegin(); line != s.tailReversed.rend(); ++line) put(*line);
  }
  return out;
}

}  // namespace hollowmere
