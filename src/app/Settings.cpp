// Settings load and save. The file is read once at start and written once
// at the end, whatever the number of keys. Several FMO names cannot share one INI value (a
// value ends at the line break), so the first name is stored bare under
// "FMO" and the others under "FMO2", "FMO3", ...; a single name therefore
// reads and writes exactly as a plain one-name setting, and stale numbered
// keys from a longer list are removed on save.
#include "app/Settings.h"

#include <algorithm>

#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

const char kGeneral[] = "General";
const char kForm[] = "Form";
const char kHtml[] = "HTML";
const char kPlay[] = "Play";
const char kFmo[] = "FMO";
const char kArchive[] = "Archive";
const char kView[] = "Hollowmere.View";
const char kZoom[] = "Zoom";

std::string FmoKey(std::size_t index) { return index == 0 ? kFmo : kFmo + std::to_string(index + 1); }

// The stored names; the first key must be there.
std::vector<std::string> ReadFmoNames(const TMemIniFile& ini) {
  std::vector<std::string> names;
  const std::string first = ini.ReadString(kPlay, kFmo, "");
  names.push_back(first);
  for (std::size_t i = 1; ini.ValueExists(kPlay, FmoKey(i)); ++i) {
    names.push_back(ini.ReadString(kPlay, FmoKey(i), ""));
  }
  // An empty list is written as an empty value.
  if (names.size() == 1 && names[0].empty()) names.clear();
  return names;
}

void WriteFmoNames(TMemIniFile& ini, const std::vector<std::string>& names) {
  ini.WriteString(kPlay, kFmo, names.empty() ? std::string() : names[0]);
  for (std::size_t i = 1; i < names.size(); ++i) ini.WriteString(kPlay, FmoKey(i), names[i]);
  for (std::size_t i = std::max<std::size_t>(names.size(), 1); ini.ValueExists(kPlay, FmoKey(i)); ++i) {
    ini.DeleteKey(kPlay, FmoKey(i));
  }
}

}  // namespace

std::string SettingsFilePath(const std::string& exeDir) { return exeDir + "Hollowmere.ini"; }

TSettings DefaultSettings(const std::string& exeDir) {
  TSettings s;
  s.SurfaceCacheDir = exeDir + "cache/";
  s.HtmlFont = text::Sjis("ＭＳ 明朝");
  s.FmoNames = {"Sakura"};
  return s;
}

TSettings LoadSettings(const TIniFile& file, const std::string& exeDir) {
  const TMemIniFile ini(file.FileName());
  ini.CheckReadable();
  const TSettings d = DefaultSettings(exeDir);
  TSettings s;
  s.Emulation = ini.ReadBool(kGeneral, "RenderingMode", d.Emulation);
  s.SppDir = ini.ReadString(kGeneral, "SppDir", d.SppDir);
  s.SurfaceCacheDir = ini.ReadString(kGeneral, "SurfaceCacheDir", d.SurfaceCacheDir);
  s.Form.Top = ini.ReadInteger(kForm, "Top", d.Form.Top);
  s.Form.Left = ini.ReadInteger(kForm, "Left", d.Form.Left);
  s.Form.Width = ini.ReadInteger(kForm, "Width", d.Form.Width);
  s.Form.Height = ini.ReadInteger(kForm, "Height", d.Form.Height);
  s.HtmlFont = ini.ReadString(kHtml, "Font", d.HtmlFont);
  s.Luid = ini.ReadString(kGeneral, "LUID", d.Luid);
  s.MessagesPerPage = ini.ReadInteger(kGeneral, "1PageCount", d.MessagesPerPage);
  s.FmoNames = ini.ValueExists(kPlay, kFmo) ? ReadFmoNames(ini) : d.FmoNames;
  s.PlayEnabled = ini.ReadBool(kPlay, "Enabled", d.PlayEnabled);
  s.ArchiveEnabled = ini.ReadBool(kArchive, "Enabled", d.ArchiveEnabled);
  s.ArchiveFile = ini.ReadString(kArchive, "File", d.ArchiveFile);
  s.ViewZoomPercent =
      std::clamp(ini.ReadInteger(kView, kZoom, d.ViewZoomPercent), kMinZoomPercent, kMaxZoomPercent);
  return s;
}

void SaveSettings(TIniFile& file, const TSettings& s) {
  TMemIniFile ini(file.FileName());
  ini.WriteBool(kGeneral, "RenderingMode", s.Emulation);
  ini.WriteString(kGeneral, "LUID", s.Luid);
  ini.WriteString(kGeneral, "SurfaceCacheDir", s.SurfaceCacheDir);
  ini.WriteInteger(kForm, "Top", s.Form.Top);
  ini.WriteInteger(kForm, "Left", s.Form.Left);
  ini.WriteInteger(kForm, "Width", s.Form.Width);
  ini.WriteInteger(kForm, "Height", s.Form.Height);
  ini.WriteString(kHtml, "Font", s.HtmlFont);
  ini.WriteInteger(kGeneral, "1PageCount", s.MessagesPerPage);
  WriteFmoNames(ini, s.FmoNames);
  ini.WriteBool(kPlay, "Enabled", s.PlayEnabled);
  // A file that never turned archiving off stays as it always was.
  if (!s.ArchiveEnabled || ini.ValueExists(kArchive, "Enabled")) ini.WriteBool(kArchive, "Enabled", s.ArchiveEnabled);
  if (s.ViewZoomPercent != 100 || ini.ValueExists(kView, kZoom)) {
    ini.WriteInteger(kView, kZoom, s.ViewZoomPercent);
  }
  ini.UpdateFile();
}

void SaveSppDir(TIniFile& ini, const std::string& dir) { ini.WriteString(kGeneral, "SppDir", dir); }

std::string FmoNamesText(const std::vector<std::string>& names) { return text::JoinCrlf(names); }

std::vector<std::string> FmoNamesFromText(const std::string& text) { return text::SplitLines(text); }

}  // namespace hollowmere
