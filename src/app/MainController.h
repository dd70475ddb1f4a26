// The main window's behaviour without the toolkit: start and end, the menu
// items, the HTML view's events and the dispatch of followed links. It owns
// the settings members, the tokenizer and the substitution engine that page
// writing uses, and reaches the window only through the interfaces of
// platform/Ui.h and app/WindowUi.h, so a test can play the user.
//
// Invariants: the settings members are the only copy of the settings between
// FormCreate and FormDestroy; the file is read in FormCreate and written in
// FormDestroy, except "SppDir", written the moment a plugin folder is chosen.
// Exactly one rendering mode is in effect and the window's check marks show it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ArchiveUi.h"
#include "app/CommandLine.h"
#include "app/ServiceUi.h"
#include "app/Settings.h"
#include "app/WindowUi.h"
#include "platform/Baseware.h"
#include "platform/MainLoop.h"
#include "platform/Ui.h"

namespace hollowmere {

class TSsParser;
class TAWKStr;
class TSppList;
class TDirectSSTP;
class TMessageItem;
class THTTPDownloadThread;
class TDownloadThreads;
class TShownMessageIds;
class TLogArchiver;
class IArchiveStore;
class TVisibleText;
struct TArchiveLine;

// The site the version box offers to open.
inline constexpr const char* kDistributionSite = "https://hollowmere.example.org/";
// The window's caption, which names the program in every SSTP request.
inline constexpr const char* kMainWindowCaption = "Hollowmere";

class TMainController {
 public:
  struct Parts {
    IMainWindow& Window;
    IHtmlView& View;
    IMessageBoxes& Boxes;
    IShell& Shell;
    ISettingDialog& SettingDialog;
    IFontChooser& FontChooser;
    IFileChooser& FileChooser;
    // The main thread's loop: worker threads reach the window through it.
    IMainLoop& Loop;
    // Where running ghosts are found and how their windows are reached.
    TBaseware Baseware;
    // The log download, votes and agrees.
    TServiceParts& Service;
    // The archive's search dialog; null where there is none (batch runs).
    IArchiveSearchDialog* ArchiveSearch = nullptr;
  };

  // `exeDir`: the program folder, ending in "/"; the settings file, the
  // pattern files, "log.txt" and the page files live there.
  TMainController(std::string exeDir, TSppList& plugins, Parts parts);
  ~TMainController();
  TMainController(const TMainController&) = delete;
  TMainController& operator=(const TMainController&) = delete;

  // Start: settings loaded and the window placed, the plugin folder asked for
  // when none is set, the pattern files loaded, the SSTP sender started. A
  // step that fails is reported in a message box and the later steps still
  // run, so the window comes up.
  void FormCreate();
  // End: vote and agree transfers still under way abandoned without a word
  // (and waited for), the settings saved (a refused write is reported), then
  // the sender freed, which waits for its worker's current pass while
  // serving the loop.
  void FormDestroy();

  // The four command-line arguments (CP932): fetch, write the pages with
  // the page size given for this run only (put back whatever happens), and
  // with "noview" ask the window to close. Every bad command line is
  // answered with "パラメータが不正です" and nothing is fetched; the run
  // says which argument was refused. An error of the fetch itself passes on.
  TCommandLineRun ProcessCommandLine(const std::vector<std::string>& args);

  // Menu items.
  void LogShowMenuClick();
  void LogLoadMenuClick();
  void PluginSetMenuClick();
  void FontMenuClick();
  void SettingMenuClick();
  void VersionMenuClick();
  void ExitMenuClick();
  void EmulationMenuClick();
  void LeftMenuClick();
  // The archive menu: a search written as pages, the messages of a period
  // written as pages (no service involved), archiving on or off.
  void ArchiveSearchMenuClick();
  void ArchivePeriodMenuClick();
  void ArchiveEnabledMenuClick();
  // The archive file in use (native path).
  std::string ArchivePath() const;

  // HTML view events.
  void DownloadBegin();
  void DownloadComplete();
  // The link dispatch. `url`: the CP932 text the page wrote
  // (NavigationUrlToPageText). True lets the view go there. A link a rule
  // handles loads nothing, so the view's loading state ends with it: the
  // normal cursor, and the rule's own status text or else "読み込み完了".
  bool BeforeNavigate(const std::string& url);

  // Keeps an accepted log in the archive (when archiving is on), then writes
  // its pages with the current settings and shows page 0; false, silently,
  // for a text that is not a log. An archive failure is shown beside the
  // status text and never stops the pages.
  bool ShowLogText(const std::string& logText);

  // Vote and agree. SendVote returns the refusal to show, empty when the
  // request was started; the reply or failure arrives later on the main
  // thread through the two handlers.
  std::string SendVote(const std::string& mid, const std::string& voteType);
  void PostServerCommand(const std::vector<std::string>& lines);
  void VoteReplyReceived(THTTPDownloadThread& worker);
  void VoteTransferFailed(THTTPDownloadThread& worker);
  // Vote and agree transfers whose handler has not yet returned.
  std::size_t TransfersUnderWay() const;

  // The application's general error report: runs a user action and shows
  // the message of any error that ends it; nothing is rolled back.
  void Guarded(const std::function<void()>& action);

  const TSettings& Settings() const { return settings_; }
  TSettings& Settings() { return settings_; }
  const std::string& ExeDir() const { return exeDir_; }
  std::string PageFilePrefix() const { return exeDir_ + "long"; }
  TSsParser& SsParser() { return *ssParser_; }
  TAWKStr& AWKStr() { return *awkStr_; }
  // The SSTP sender; null before FormCreate, after FormDestroy, or when it
  // could not be made.
  TDirectSSTP* Sstp() { return sstp_.get(); }

 private:
  void LoadPatterns();
  // ShowLogText without the archive, for pages made from the archive itself.
  bool WritePages(const std::string& logText);
  void ArchiveLog(const std::string& logText);
  // The archiver, made at first use; raises when the pattern files are missing.
  TLogArchiver& Archiver();
  // The archive to search; raises when there is none yet.
  IArchiveStore& ArchiveToRead();
  // Shows what the archive holds beside the status text; quietly nothing
  // before an archive file exists.
  void ShowArchiveCount();
  // Pages of archived lines; `status` is shown once they have loaded.
  void ShowArchivedLines(const std::vector<TArchiveLine>& lines, const std::string& status);
  void SetEmulation(bool emulation);
  // Every status text of the controller goes through here, so the dispatch
  // can tell whether its rule said anything.
  void ShowStatus(const std::string& text);
  bool Dispatch(const std::string& url);
  void PlayAcknowledged(const std::string& ghostName);
  void CreateSender();
  void PlayLinkClick(const std::string& url);
  // The log text of the conditions' request, fetched on a worker while the
  // window goes on; a failure (abandoning included) is shown and gives nothing.
  std::optional<std::string> FetchLog(const TLogConditions& conditions);
  // ShowLogText for a fetched reply; one that is no log leaves the window
  // as it was, and what the service said instead goes to the status bar.
  bool ShowFetchedLog(const std::string& reply);
  void VoteLinkClicked(const std::string& url, std::string_view prefix, const char* voteType,
                       const std::string& statusText);

  std::string exeDir_;
  TSppList& plugins_;
  Parts ui_;
  TSettings settings_;
  std::unique_ptr<TSsParser> ssParser_;
  std::unique_ptr<TAWKStr> awkStr_;
  // The records play links made; the sender's queue refers to them, so they
  // are declared before it and outlive it.
  std::vector<std::unique_ptr<TMessageItem>> playRecords_;
  std::unique_ptr<TDirectSSTP> sstp_;
  std::unique_ptr<TShownMessageIds> shownMids_;
  std::unique_ptr<TDownloadThreads> voteWorkers_;
  // Messages on the pages of the last log ShowLogText was given.
  std::size_t shownMessages_ = 0;
  std::unique_ptr<TVisibleText> visible_;
  std::unique_ptr<TLogArchiver> archiver_;
  TArchiveSearchRequest lastSearch_;
  // Shown in place of "読み込み完了" when the next page has loaded.
  std::string statusAfterLoad_;
  unsigned statusTexts_ = 0;
};

// The OK rule of the settings dialog: the page count must read as a 32-bit
// integer.
bool SettingDialogAcceptsOk(const TSettingDialogValues& values);

}  // namespace hollowmere
