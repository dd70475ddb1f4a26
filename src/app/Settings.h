// The user's settings: the members the main window keeps, their defaults, and
// how they are read from and written to "Hollowmere.ini" beside the program.
// The file is read once at start and written once at a normal end; only the
// plugin folder is written at the moment it is chosen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/IniFile.h"

namespace hollowmere {

struct TFormBounds {
  int32_t Top = 145;
  int32_t Left = 209;
  int32_t Width = 440;
  int32_t Height = 351;
  bool operator==(const TFormBounds&) const = default;
};

struct TSettings {
  bool Emulation = true;  // rendering mode: ghost placement emulation, else left-aligned
  std::string SppDir;
  std::string HtmlFont;
  std::string Luid;
  std::string SurfaceCacheDir;  // ends in "/"
  int32_t MessagesPerPage = 100;
  bool PlayEnabled = false;
  std::vector<std::string> FmoNames;
  TFormBounds Form;
  // Section "Archive", ours alone: every accepted log is kept in the archive
  // unless "Enabled" is 0; "File" names another archive file than the
  // program folder's (never written back, so an empty one stays absent).
  bool ArchiveEnabled = true;
  std::string ArchiveFile;
  // The view's zoom in percent, in a section of the program's own; kept
  // between kMinZoomPercent and kMaxZoomPercent when read.
  int32_t ViewZoomPercent = 100;
};

// The zooms the view offers, in percent.
inline constexpr int32_t kMinZoomPercent = 25;
inline constexpr int32_t kMaxZoomPercent = 500;

// exeDir ends in "/".
std::string SettingsFilePath(const std::string& exeDir);

// What a first start without a settings file has: page font "ＭＳ 明朝",
// the FMO "Sakura", the cache folder exeDir + "cache/", and the rest as
// TSettings says.
TSettings DefaultSettings(const std::string& exeDir);

// Every key in its start-up order; absent or unreadable values give the
// defaults. A settings file that is there but cannot be read raises
// EFOpenError (EFTooLargeError when it is over the read limit).
TSettings LoadSettings(const TIniFile& ini, const std::string& exeDir);

// Every key but "SppDir", in the end-of-run order, in one write of the
// file; the zoom only when it is not 100 or was stored before, so a file
// without it stays as it was. A refused write raises EIniFileException and
// leaves the file as it was, no key written.
void SaveSettings(TIniFile& ini, const TSettings& settings);

void SaveSppDir(TIniFile& ini, const std::string& dir);

// The names as the settings dialog's memo shows them: each followed by CR LF.
std::string FmoNamesText(const std::vector<std::string>& names);
// The memo's text back into names, one per line.
std::vector<std::string> FmoNamesFromText(const std::string& text);

}  // namespace hollowmere
