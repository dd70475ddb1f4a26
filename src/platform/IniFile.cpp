// INI reading and single-key writing. A write re-reads the file, edits one
// line and replaces the file whole (WriteFileReplacing), so a failed write
// never leaves a truncated settings file behind.
#include "platform/IniFile.h"

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "text/Numbers.h"
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

// ASCII letters fold; the bytes of double-byte characters compare exactly.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (text::IsLeadByte(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
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

// Index range [first, end) of the section's body lines, or nullopt.
struct SectionSpan {
  std::size_t header;
  std::size_t end;
};

std::optional<SectionSpan> FindSection(const std::vector<std::string>& lines, const std::string& section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i]);
    if (!name || !SameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end])) ++end;
    return SectionSpan{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<std::string>& lines, const SectionSpan& span,
                                   const std::string& key) {
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    const auto kv = ParseKeyLine(lines[i]);
    if (kv && SameName(kv->key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> Lookup(const std::string& path, const std::string& section,
                                  const std::string& key) {
  const auto content = TryReadWholeFile(path);
  if (!content) return std::nullopt;
  const std::vector<std::string> lines = text::SplitLines(*content);
  const auto span = FindSection(lines, section);
  if (!span) return std::nullopt;
  const auto at = FindKey(lines, *span, key);
  if (!at) return std::nullopt;
  std::string_view value = ParseKeyLine(lines[*at])->value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > kMaxValueBytes) value = value.substr(0, kMaxValueBytes);
  return std::string(value);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  auto v = Lookup(path_, section, key);
  return v ? *v : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
  std::string v = ReadString(section, key, "");
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v = "$" + v.substr(2);
  return text::StrToIntDef(v, def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Lookup(path_, section, key).has_value();
}

void TIniFile::CheckReadable() const {
  if (FileExists(path_)) ReadWholeFile(path_);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("an INI value cannot hold a line break");
  }
  Update(section, key, &value);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  Update(section, key, nullptr);
}

void TIniFile::Update(const std::string& section, const std::string& key, const std::string* value) {
  const auto content = TryReadWholeFile(path_);
  // A settings file that exists but cannot be read must not be replaced by
  // one holding only this key.
  if (!content && FileExists(path_)) throw IniWriteError(path_);
  std::vector<std::string> lines = content ? text::SplitLines(*content) : std::vector<std::string>{};
  const auto span = FindSection(lines, section);
  const std::string newLine = value ? key + "=" + *value : std::string();
  if (!span) {
    if (!value) return;
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(newLine);
  } else if (const auto at = FindKey(lines, *span, key)) {
    if (value) {
      lines[*at] = newLine;
    } else {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*at));
    }
  } else {
    if (!value) return;
    // After the section's last non-blank line, so blank separators stay below it.
    std::size_t insert = span->end;
    while (insert > span->header + 1 && Trim(lines[insert - 1]).empty()) --insert;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), newLine);
  }
  try {
    WriteFileReplacing(path_, text::JoinCrlf(lines));
  } catch (const EFCreateError&) {
    throw IniWriteError(path_);
  }
}

}  // namespace hollowmere
