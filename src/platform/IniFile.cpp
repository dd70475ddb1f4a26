// TIniFile and TMemIniFile over TIniText. A single-key write is a whole
// read, edit and save of the file, so a run that writes one key (the plugin
// folder) never holds a stale copy of the others.
#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFileSave.h"
#include "text/Numbers.h"

namespace hollowmere {
namespace {

int32_t AsInteger(std::string v, int32_t def) {
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v = "$" + v.substr(2);
  return text::StrToIntDef(v, def);
}

TIniText ReadText(const std::string& path) {
  const auto content = TryReadWholeFile(path);
  return content ? TIniText(*content) : TIniText();
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  return ReadText(path_).Find(section, key).value_or(def);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
  return AsInteger(ReadString(section, key, ""), def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return ReadText(path_).Find(section, key).has_value();
}

void TIniFile::CheckReadable() const {
  if (FileExists(path_)) ReadWholeFile(path_);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  TMemIniFile file(path_);
  file.WriteString(section, key, value);
  file.UpdateFile();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  TMemIniFile file(path_);
  if (file.DeleteKey(section, key)) file.UpdateFile();
}

TMemIniFile::TMemIniFile(std::string path) : path_(std::move(path)) {
  if (!FileExists(path_)) return;
  try {
    text_ = TIniText(ReadWholeFile(path_));
  } catch (const EFOpenError&) {
    unreadable_ = std::current_exception();
  }
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& def) const {
  return text_.Find(section, key).value_or(def);
}

int32_t TMemIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
  return AsInteger(ReadString(section, key, ""), def);
}

bool TMemIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return text_.Find(section, key).has_value();
}

void TMemIniFile::CheckReadable() const {
  if (unreadable_) std::rethrow_exception(unreadable_);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  text_.Set(section, key, value);
}

void TMemIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TMemIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TMemIniFile::DeleteKey(const std::string& section, const std::string& key) {
  return text_.Remove(section, key);
}

void TMemIniFile::UpdateFile() const {
  // A file that is there but could not be read must not be replaced by one
  // holding only what was written since.
  if (unreadable_) throw IniWriteError(path_);
  SaveIniFileBytes(path_, text_.Bytes());
}

}  // namespace hollowmere
