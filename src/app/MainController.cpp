// The main window's behaviour: start, end, menus, view events, link dispatch.
#include "app/MainController.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "archive/LogArchiver.h"
#include "archive/VisibleText.h"
#include "ghost/DirectSstpSend.h"
#include "ghost/PlayLink.h"
#include "log/MessageItem.h"
#include "net/HttpThread.h"
#include "net/VoteRequest.h"
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
      settings_(DefaultSettings(exeDir_)),
      ssParser_(std::make_unique<TSsParser>()),
      awkStr_(std::make_unique<TAWKStr>()),
      shownMids_(std::make_unique<TShownMessageIds>()),
      voteWorkers_(std::make_unique<TDownloadThreads>(parts.Loop)) {
  awkStr_->SetLineSeparator(mcls_CRLF);
}

TMainController::~TMainController() {
  // The sender's wait may still serve steps that reach the window.
  sstp_.reset();
}

void TMainController::FormCreate() {
  // A settings file that cannot be read is reported, and the defaults stay.
  settings_ = DefaultSettings(exeDir_);
  Guarded([&] {
    const TIniFile ini(SettingsFilePath(exeDir_));
    settings_ = LoadSettings(ini, exeDir_);
  });
  SetEmulation(settings_.Emulation);
  ui_.Window.SetBounds(settings_.Form);
  ui_.Window.SetZoomPercent(settings_.ViewZoomPercent);

  if (settings_.SppDir.empty()) {
    static const std::string ask = text::Sjis("プラグインディレクトリを設定して下さい");
    ui_.Boxes.ShowMessage(ask);
    Guarded([&] { PluginSetMenuClick(); });
  }
  LoadPatterns();
  ui_.Window.ShowArchiveEnabled(settings_.ArchiveEnabled);
  // Without a window the count has no place, and a broken archive is told
  // when the log is merged: once, not at start as well.
  if (!ui_.Service.StatusUnseen) ShowArchiveCount();
  // Last, whatever failed before: playback relies on the sender.
  CreateSender();
}

void TMainController::CreateSender() {
  sstp_.reset();
  Guarded([&] {
    TDirectSSTP::TParts parts{ui_.Loop, ui_.Baseware, [this] { return settings_.FmoNames; },
                              [this](const std::string& text) { ShowStatus(text); }};
    sstp_ = std::make_unique<TDirectSSTP>(std::move(parts));
    sstp_->SetSenderName(kMainWindowCaption);
    sstp_->SetOnAcknowledged([this](const std::string& ghost) { PlayAcknowledged(ghost); });
  });
}

void TMainController::LoadPatterns() {
  Guarded([&] { ssParser_->SetTagPattern(LoadPatternFile(exeDir_ + "tagpat.txt")); });
  Guarded([&] { ssParser_->SetMetaPattern(LoadPatternFile(exeDir_ + "metapat.txt")); });
}

void TMainController::FormDestroy() {
  // Nobody is left to read a reply: no box may open while the program ends.
  voteWorkers_->AbandonAll();
  settings_.Form = ui_.Window.Bounds();
  settings_.ViewZoomPercent = std::clamp(ui_.Window.ZoomPercent(), kMinZoomPercent, kMaxZoomPercent);
  Guarded([&] {
    TIniFile ini(SettingsFilePath(exeDir_));
    SaveSettings(ini, settings_);
  });
  sstp_.reset();
}

void TMainController::LogLoadMenuClick() {
  plugins_.LoadFolder(settings_.SppDir);
  ShowLogText(ReadWholeFile(exeDir_ + "log.txt"));
}

bool TMainController::ShowLogText(const std::string& logText) {
  ArchiveLog(logText);
  return WritePages(logText);
}

bool TMainController::WritePages(const std::string& logText) {
  // A cache folder that went missing would fail every picture of the log;
  // it holds nothing that cannot be made again, so it is simply remade once
  // the log is accepted.
  const auto remakeCache = [this] {
    if (settings_.SurfaceCacheDir.empty()) return;
    std::error_code ignored;
    const std::string cache = NativePath(settings_.SurfaceCacheDir);
    std::filesystem::create_directories(cache, ignored);
    // Surface -1 points to the blank picture in whichever cache folder is
    // set; the program folder's copy goes there, never over one already in it.
    const std::string blank = NativePath(exeDir_) + kBlankSurfaceFile;
    const std::filesystem::path target = std::filesystem::path(cache) / "General-1.bmp";
    if (std::filesystem::is_regular_file(blank, ignored) && !std::filesystem::exists(target, ignored)) {
      std::filesystem::copy_file(blank, target, ignored);
    }
  };
  TShownMessageIds written;
  shownMessages_ = 0;
  const ShowLogContext ctx{*ssParser_,
                           *awkStr_,
                           plugins_,
                           settings_.SurfaceCacheDir,
                           PageFilePrefix(),
                           settings_.HtmlFont,
                           settings_.MessagesPerPage,
                           settings_.Emulation,
                           std::string(),
                           nullptr,
                           remakeCache,
                           [this, &written](const TMessageItem& m) {
                             written.Add(m.HeaderValue("MID"));
                             ++shownMessages_;
                           }};
  bool shown = false;
  try {
    shown = ShowLog(logText, ctx, ui_.View);
  } catch (...) {
    // Pages written before the failure are on disk and may be shown.
    shownMids_->Merge(written);
    throw;
  }
  if (shown) *shownMids_ = std::move(written);
  return shown;
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

void TMainController::ShowStatus(const std::string& text) {
  ++statusTexts_;
  ui_.Window.SetStatusText(text);
}

void TMainController::DownloadBegin() {
  static const std::string loading = text::Sjis("読み込み中...");
  ShowStatus(loading);
  ui_.Window.SetBusyCursor(true);
}

void TMainController::DownloadComplete() {
  static const std::string done = text::Sjis("読み込み完了");
  ShowStatus(statusAfterLoad_.empty() ? done : statusAfterLoad_);
  statusAfterLoad_.clear();
  ui_.Window.SetBusyCursor(false);
}

bool TMainController::BeforeNavigate(const std::string& url) {
  const unsigned before = statusTexts_;
  bool go = true;
  try {
    go = Dispatch(url);
  } catch (...) {
    // A rule that failed has loaded nothing either.
    ui_.Window.SetBusyCursor(false);
    throw;
  }
  if (go) return true;
  // The view may have announced the click as a load; none follows.
  if (statusTexts_ == before) DownloadComplete();
  ui_.Window.SetBusyCursor(false);
  return false;
}

bool TMainController::Dispatch(const std::string& url) {
  // The first rule whose test holds decides.
  // Vote rule, then agree rule: the request goes to the service.
  static const std::string voted = text::Sjis("投票しました:");
  static const std::string agreed = text::Sjis("同意しました");
  if (text::Contains(url, "http://vote.")) {
    VoteLinkClicked(url, "http://vote.", "Vote", voted);
    return false;
  }
  if (text::Contains(url, "http://agree.")) {
    VoteLinkClicked(url, "http://agree.", "Agree", agreed);
    return false;
  }

  // Play rule: the message goes to a running ghost, never to the view.
  if (text::Contains(url, kPlayLinkPrefix)) {
    PlayLinkClick(url);
    return false;
  }

  // Page rule: every page file is "long" + number + ".html".
  if (text::Contains(url, "long")) return true;

  // Shell rule: anything else belongs to the desktop, not to the view.
  ui_.Shell.Open(url, std::string());
  return false;
}

void TMainController::PlayLinkClick(const std::string& url) {
  if (!settings_.PlayEnabled) {
    static const std::string disabled =
        text::Sjis("再生機能は無効です。設定ダイアログで再生機能を有効にしてください。");
    ui_.Boxes.ShowMessage(disabled);
    return;
  }
  std::optional<TMessageItem> message = ParsePlayLink(url);
  if (!message) {
    static const std::string unreadable = text::Sjis("再生リンクを読み取れませんでした");
    ShowStatus(unreadable);
    return;
  }
  if (!sstp_) {
    static const std::string noSender = text::Sjis("再生の準備ができていません");
    ShowStatus(noSender);
    return;
  }
  playRecords_.push_back(std::make_unique<TMessageItem>(std::move(*message)));
  sstp_->Enqueue(*playRecords_.back());
  // Nothing is sent yet; the acknowledgement says who played it.
  static const std::string queued = text::Sjis("再生待ちに入れました");
  const std::size_t waiting = sstp_->QueueLength();
  ShowStatus(waiting > 1 ? queued + text::Sjis(" (待ち ") + std::to_string(waiting) + text::Sjis(" 件)")
                         : queued);
}

void TMainController::PlayAcknowledged(const std::string& ghostName) {
  static const std::string played = text::Sjis("再生しました:");
  ShowStatus(played + ghostName);
}

void TMainController::Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ui_.Boxes.ShowMessage(e.what());
  }
}

}  // namespace hollowmere
