// Fuzz target for the INI reader (TIniFile) on the settings file's keys.
// First byte: bit 7 set, one key (picked by the low bits) is written, and
// the rest is value NUL file; bit 7 clear, the rest is the file. Every key
// reads within the 2047-byte cap, gives its default exactly when it is
// absent, and reads the same as a string, an integer and a boolean. A write
// reads back as written (without outer blanks and one pair of quotes),
// changes no other key, keeps the file's mode, and leaves nothing but the
// file in its folder. Before it, each byte of the value picks a key to set
// or remove in memory (TIniText), and the text and every key read the same
// as the plain line list that single-key writes have always edited.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/IniFileText.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

struct Key {
  const char* section;
  const char* name;
};

const Key kKeys[] = {{"General", "RenderingMode"}, {"General", "SppDir"}, {"General", "SurfaceCacheDir"},
                     {"Form", "Top"},              {"Form", "Left"},      {"Form", "Width"},
                     {"Form", "Height"},           {"HTML", "Font"},      {"General", "LUID"},
                     {"General", "1PageCount"},    {"Play", "FMO"},       {"Play", "Enabled"}};
constexpr std::size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
// The default of the string reads.
const std::string kAbsent = " absent";

std::vector<std::string> ReadAll(const TIniFile& ini) {
  std::vector<std::string> values;
  for (const Key& k : kKeys) {
    const std::string value = ini.ReadString(k.section, k.name, kAbsent);
    const bool exists = ini.ValueExists(k.section, k.name);
    Check(value.size() <= 2047 || value == kAbsent, "a value is cut to 2047 bytes");
    Check(exists || value == kAbsent, "an absent key gives the default");
    const int32_t number = ini.ReadInteger(k.section, k.name, 7);
    Check(exists || number == 7, "an absent integer gives the default");
    Check(ini.ReadBool(k.section, k.name, true) == (ini.ReadInteger(k.section, k.name, 1) != 0) &&
              ini.ReadBool(k.section, k.name, false) == (ini.ReadInteger(k.section, k.name, 0) != 0),
          "a boolean is an integer other than 0");
    values.push_back(value);
  }
  return values;
}

// What reading gives for a written value.
std::string AsRead(std::string_view value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!value.empty() && blank(value.front())) value.remove_prefix(1);
  while (!value.empty() && blank(value.back())) value.remove_suffix(1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, 2047));
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (text::IsLeadByte(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The file as a list of lines, searched from the top for every key: slow,
// but plainly what reading and single-key writing mean.
class TLineList {
 public:
  explicit TLineList(std::string_view bytes) : lines_(text::SplitLines(bytes)) {}

  std::optional<std::string> Find(std::string_view section, std::string_view key) const {
    const auto at = KeyLine(section, key);
    if (!at) return std::nullopt;
    return AsRead(Trim(std::string_view(lines_[*at]).substr(lines_[*at].find('=') + 1)));
  }
  void Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string line = std::string(key) + "=" + std::string(value);
    const auto span = Section(section);
    if (!span) {
      if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
      lines_.push_back("[" + std::string(section) + "]");
      lines_.push_back(line);
    } else if (const auto at = KeyLine(section, key)) {
      lines_[*at] = line;
    } else {
      std::size_t insert = span->second;
      while (insert > span->first + 1 && Trim(lines_[insert - 1]).empty()) --insert;
      lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), line);
    }
  }
  void Remove(std::string_view section, std::string_view key) {
    if (const auto at = KeyLine(section, key)) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  }
  std::string Bytes() const { return text::JoinCrlf(lines_); }

 private:
  static std::optional<std::string_view> HeaderName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[' || line.find(']') == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, line.find(']') - 1));
  }
  // Header line and end of the section's body.
  std::optional<std::pair<std::size_t, std::size_t>> Section(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const auto name = HeaderName(lines_[i]);
      if (!name || !SameName(*name, section)) continue;
      std::size_t end = i + 1;
      while (end < lines_.size() && !HeaderName(lines_[end])) ++end;
      return std::make_pair(i, end);
    }
    return std::nullopt;
  }
  std::optional<std::size_t> KeyLine(std::string_view section, std::string_view key) const {
    const auto span = Section(section);
    for (std::size_t i = span ? span->first + 1 : 0; span && i < span->second; ++i) {
      const std::string_view line = lines_[i];
      if (Trim(line).empty() || Trim(line).front() == ';' || line.find('=') == std::string_view::npos) continue;
      if (SameName(Trim(line.substr(0, line.find('='))), key)) return i;
    }
    return std::nullopt;
  }
  std::vector<std::string> lines_;
};

const Key kEditKeys[] = {{"General", "LUID"}, {"general", "luid"}, {"Play", "FMO"},     {"Play", "FMO2"},
                         {"PLAY", "fmo3"},    {"Form", "Top"},     {"New", "Key"},      {" Odd ", "a=b"},
                         {"x]y", ";k"},       {"HTML", "Font"},    {"\x83" "A", "\x83" "a"}, {"", ""}};

// Each byte: bit 6 removes, else sets; the low bits pick the key.
void CheckEdits(std::string_view file, std::string_view ops) {
  TIniText text(file);
  TLineList reference(file);
  constexpr std::size_t kEditCount = sizeof kEditKeys / sizeof kEditKeys[0];
  for (const char op : ops.substr(0, 64)) {
    const Key& k = kEditKeys[static_cast<unsigned char>(op) % kEditCount];
    if ((op & 0x40) != 0) {
      const bool removed = text.Remove(k.section, k.name);
      Check(removed == reference.Find(k.section, k.name).has_value(), "a removal finds what reading finds");
      reference.Remove(k.section, k.name);
    } else {
      const std::string value = "v" + std::to_string(static_cast<unsigned char>(op));
      text.Set(k.section, k.name, value);
      reference.Set(k.section, k.name, value);
    }
  }
  Check(text.Bytes() == reference.Bytes(), "edits in memory give the single-key writes' bytes");
  for (const Key& k : kEditKeys) {
    Check(text.Find(k.section, k.name) == reference.Find(k.section, k.name), "an edited key reads the same");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const fuzz::TScratchFolder folder;
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool write = (data[0] & 0x80) != 0;
  const std::string value(write ? fuzz::TakeField(rest, '\0') : std::string_view());
  const std::string path = folder.Path() + "/Hollowmere.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
    Check(out.good(), "the file can be written");
  }
  TIniFile ini(path);
  const std::vector<std::string> before = ReadAll(ini);
  if (write) {
    CheckEdits(rest, value);
    struct stat st {};
    Check(::stat(path.c_str(), &st) == 0, "the file is there");
    const mode_t mode = st.st_mode & 07777;
    const std::size_t k = data[0] % kKeyCount;
    try {
      ini.WriteString(kKeys[k].section, kKeys[k].name, value);
      Check(value.find_first_of("\r\n") == std::string::npos, "a value with a line break is refused");
    } catch (const std::invalid_argument&) {
      Check(value.find_first_of("\r\n") != std::string::npos, "only a value with a line break is refused");
      return 0;
    }
    std::vector<std::string> after = ReadAll(ini);
    Check(after[k] == AsRead(value), "a written value reads back");
    after[k] = before[k];
    Check(after == before, "a write changes no other key");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
      Check(entry.path().filename() == "Hollowmere.ini", "nothing but the file is left");
      ++files;
    }
    Check(files == 1, "the file is there");
    Check(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == mode, "a write keeps the file's mode");
  }
  return 0;
}
