// Fuzz target for the INI reader (TIniFile) on the settings file's keys.
// First byte: bit 7 set, one key (picked by the low bits) is written, and
// the rest is value NUL file; bit 7 clear, the rest is the file. Every key
// reads within the 2047-byte cap, gives its default exactly when it is
// absent, and reads the same as a string, an integer and a boolean. A write
// reads back as written (without outer blanks and one pair of quotes),
// changes no other key, and leaves nothing but the file in its folder.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"

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
  }
  return 0;
}
