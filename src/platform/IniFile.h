// INI files with private-profile semantics: "[Section]" lines, then
// "key=value" lines. Section and key names match without regard to ASCII
// case; values are trimmed of blanks (and one pair of enclosing quotes) and
// cut to 2047 bytes on reading. A missing file, section or key gives the
// default. A key write changes that key's line and leaves every other line
// of the file, comments included, exactly as it was (see IniFileText.h).
// The file is always written whole, as SaveIniFileBytes writes it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/IniFileText.h"

namespace hollowmere {

// One file, read and written one key at a time: every read reads the file
// and every write rewrites it.
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
  // refuses or the file is read-only; the file is then unchanged. Names and
  // values may not hold line breaks, nor may a key start "[".
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // Removes the key's line, if any; without one the file is not written.
  void DeleteKey(const std::string& section, const std::string& key);

 private:
  std::string path_;
};

// One file read once into memory; reads and writes then work on that copy
// alone, and UpdateFile writes every change to the file in one write.
class TMemIniFile {
 public:
  // Reads the file; one that is there but cannot be read leaves the copy
  // empty (every value its default) and is never written over.
  explicit TMemIniFile(std::string path);

  const std::string& FileName() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Raises what reading the file raised, as TIniFile::CheckReadable.
  void CheckReadable() const;

  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // False when there was no such key.
  bool DeleteKey(const std::string& section, const std::string& key);

  // Raises EIniFileException when the file cannot be written (nor read
  // before); the file is then unchanged.
  void UpdateFile() const;

 private:
  std::string path_;
  TIniText text_;
  std::exception_ptr unreadable_;
};

}  // namespace hollowmere
