// INI files with private-profile semantics: "[Section]" lines, then
// "key=value" lines. Section and key names match without regard to ASCII
// case; values are trimmed of blanks (and one pair of enclosing quotes) and
// cut to 2047 bytes on reading. A missing file, section or key gives the
// default. Writes change one key at a time and leave every other line of the
// file, comments included, exactly as it was.
#pragma once

#include <cstdint>
#include <string>

namespace hollowmere {

class TIniFile {
 public:
  explicit TIniFile(std::string path) : path_(std::move(path)) {}

  const std::string& FileName() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // Decimal, or hexadecimal when the value is longer than two characters and
  // starts "0x" or "0X"; anything else gives the default.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  // Read as an integer (default 1 or 0); any non-zero value is true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Raises EFOpenError ("ファイル %s は開けません") when something is at the
  // path that cannot be read as a file (a folder, one without permission),
  // EFTooLargeError when the file is over the read limit. A missing file is
  // no error: every value is then its default.
  void CheckReadable() const;

  // Raise EIniFileException ("<file> に書き込めません") when the file system
  // refuses; the file is then unchanged. Values may not hold line breaks.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // Removes the key's line, if any.
  void DeleteKey(const std::string& section, const std::string& key);

 private:
  void Update(const std::string& section, const std::string& key, const std::string* value);
  std::string path_;
};

}  // namespace hollowmere
