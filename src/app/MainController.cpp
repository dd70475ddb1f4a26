// The main window's behaviour: start, end, menus, view events, link dispatch.
#include "app/MainController.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {
bool SettingDialogAcceptsOk(const TSettingDialogValues& values) {
  return text::TryStrToInt(values.PageCount).has_value();
}

TMainController::TMainController(std::string exeDir, TSppList& plugins, Parts parts)
    : exeDir_(std::move(exeDir)),
      plugins_(plugins),
      ui_(parts),
      ssParser_(std::make_unique<TSsParser>()),
      awkStr_(std::make_unique<TAWKStr>()) {
  awkStr_->SetLineSeparator(mcls_CRLF);
}

TMainController::~TMainController() = default;

void TMainController::FormCreate() {
  Guarded([&] {
    const TIniFile ini(SettingsFilePath(exeDir_));
    settings_ = LoadSettings(ini, exeDir_);
  });
  SetEmulation(settings_.Emulation);
  ui_.Window.SetBounds(settings_.Form);

  if (settings_.SppDir.empty()) {
    static const std::string ask = text::Sjis("プラグインディレクトリを設定して下さい");
    ui_.Boxes.ShowMessage(ask);
    Guarded([&] { PluginSetMenuClick(); });
  }
  LoadPatterns();
  // The SSTP sender is created here, after the patterns, whatever failed before.
}

void TMainController::LoadPatterns() {
  Guarded([&] { ssParser_->SetTagPattern(LoadPatternFile(exeDir_ + "tagpat.txt")); });
  Guarded([&] { ssParser_->SetMetaPattern(LoadPatternFile(exeDir_ + "metapat.txt")); });
}

void TMainController::FormDestroy() {
  settings_.Form = ui_.Window.Bounds();
  Guarded([&] {
    TIniFile ini(SettingsFilePath(exeDir_));
    SaveSettings(ini, settings_);
  });
}

void TMainController::LogLoadMenuClick() {
  plugins_.LoadFolder(settings_.SppDir);
  ShowLogText(ReadWholeFile(exeDir_ + "log.txt"));
}

void TMainController::ShowLogText(const std::string& logText) {
  // A cache folder that went missing would fail every picture of the log;
  // it holds nothing that cannot be made again, so it is simply remade.
  if (!settings_.SurfaceCacheDir.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(NativePath(settings_.SurfaceCacheDir), ignored);
  }
  const ShowLogContext ctx{*ssParser_,
                           *awkStr_,
                           plugins_,
                           settings_.SurfaceCacheDir,
                           PageFilePrefix(),
                           settings_.HtmlFont,
                           settings_.MessagesPerPage,
                           settings_.Emulation,
                           std::string(),
                           nullptr};
  ShowLog(logText, ctx, ui_.View);
}

void TMainController::PluginSetMenuClick() {
  static const std::string filter = text::Sjis("サーフィスプレビュープラグイン (*.so)");
  // The chosen folder again, or at first the plugins that came with the program.
  const std::string start = settings_.SppDir.empty() ? DefaultPluginFolder() : settings_.SppDir;
  const std::optional<std::string> file = ui_.FileChooser.ChooseFile(filter, start);
  if (!file) return;
  const std::string folder = ExtractFilePath(*file);
  settings_.SppDir = folder;
  plugins_.LoadFolder(folder);
  TIniFile ini(SettingsFilePath(exeDir_));
  SaveSppDir(ini, folder);
}

void TMainController::FontMenuClick() {
  // The chooser opens on its own font every time, never on the current setting.
  static const std::string initialFace = text::Sjis("ＭＳ 明朝");
  TFontChoice initial;
  initial.Face = initialFace;
  initial.PixelSize = 12;
  if (const std::optional<TFontChoice> chosen = ui_.FontChooser.Choose(initial)) {
    settings_.HtmlFont = chosen->Face;
  }
}

void TMainController::SettingMenuClick() {
  TSettingDialogValues values;
  values.Luid = settings_.Luid;
  values.PageCount = std::to_string(settings_.MessagesPerPage);
  values.FmoText = FmoNamesText(settings_.FmoNames);
  values.PlayEnabled = settings_.PlayEnabled;
  if (!ui_.SettingDialog.Execute(values, SettingDialogAcceptsOk)) return;
  // Converted before anything is applied, so a dialog that let a bad count
  // through changes nothing.
  const int32_t pageCount = text::StrToInt(values.PageCount);
  settings_.Luid = values.Luid;
  // Pages need at least one message each; a smaller count is taken as 1.
  settings_.MessagesPerPage = std::max<int32_t>(1, pageCount);
  settings_.FmoNames = FmoNamesFromText(values.FmoText);
  settings_.PlayEnabled = values.PlayEnabled;
}

void TMainController::VersionMenuClick() {
  static const std::string question =
      text::Sjis("Hollowmere Version 1.0.1.10\r\n配布元サイトを開きますか？");
  if (ui_.Boxes.AskYesNo(question)) ui_.Shell.Open(kDistributionSite, "open");
}

void TMainController::ExitMenuClick() { ui_.Window.RequestClose(); }

void TMainController::EmulationMenuClick() { SetEmulation(!settings_.Emulation); }

void TMainController::LeftMenuClick() { SetEmulation(!settings_.Emulation); }

void TMainController::SetEmulation(bool emulation) {
  settings_.Emulation = emulation;
  ui_.Window.ShowRenderingMode(emulation);
}

void TMainController::DownloadBegin() {
  static const std::string loading = text::Sjis("読み込み中...");
  ui_.Window.SetStatusText(loading);
  ui_.Window.SetBusyCursor(true);
}

void TMainController::DownloadComplete() {
  static const std::string done = text::Sjis("読み込み完了");
  ui_.Window.SetStatusText(done);
  ui_.Window.SetBusyCursor(false);
}

bool TMainController::BeforeNavigate(const std::string& url) {
  // The first rule whose test holds decides. The vote ("http://vote."),
  // agree ("http://agree.") and play ("http://messageofhlwmrplay/") rules
  // come here, in that order, ahead of the page rule; until they exist such
  // links fall through to the rules below.

  // Page rule: every page file is "long" + number + ".html".
  if (text::Contains(url, "long")) return true;

  // Shell rule: anything else belongs to the desktop, not to the view.
  ui_.Shell.Open(url, std::string());
  return false;
}

void TMainController::Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ui_.Boxes.ShowMessage(e.what());
  }
}

}  // namespace hollowmere
