// The main window "Hollowmere": menu bar, the HTML view inside its panel and
// a one-panel status bar. It only adapts: every menu item and view event goes
// to TMainController, and the controller reaches the window through
// IMainWindow and IHtmlView.
// Invariants: the panel keeps its design-time distances to the right and
// bottom of the client area, the status bar is 19 pixels high, and the view
// is always the panel's width minus 10 wide and the panel's height high (less
// the find bar's while that is open below it); the view never shows anything
// the program did not write.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>

#include "app/ArchiveUi.h"
#include "app/MainController.h"
#include "app/WindowUi.h"
#include "app/qt/FindBar.h"
#include "app/qt/StatusPanel.h"
#include "app/qt/ViewHistory.h"
#include "platform/Ui.h"

class QWebEngineProfile;
class QShortcut;

namespace hollowmere::qt {

// The view's page: hands every navigation to the link dispatch, in the CP932
// text the page wrote, and opens no windows.
class TBrowserPage : public QWebEnginePage {
 public:
  using Dispatch = std::function<bool(const std::string& url)>;
  TBrowserPage(QWebEngineProfile* profile, QObject* parent, Dispatch dispatch);

  // True for the URL of the last navigation the dispatch refused: the
  // engine still reports a start and a stop for it, which are no loading.
  bool WasRefused(const QUrl& url) const { return !refused_.isEmpty() && url == refused_; }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType type) override { return nullptr; }

 private:
  Dispatch dispatch_;
  QUrl refused_;
};

class TMainForm : public QMainWindow, public IMainWindow, public IHtmlView {
 public:
  // The modal parts, which a test may answer itself.
  struct Services {
    IMessageBoxes& Boxes;
    IShell& Shell;
    ISettingDialog& SettingDialog;
    IFontChooser& FontChooser;
    IFileChooser& FileChooser;
    IMainLoop& Loop;
    TBaseware Baseware;
    TServiceParts& Service;
    IArchiveSearchDialog* ArchiveSearch = nullptr;
  };

  TMainForm(std::string exeDir, TSppList& plugins, Services services);
  ~TMainForm() override;

  void FormCreate() { controller_->FormCreate(); }
  // Hidden first: the end may wait for a delivery to a ghost, unseen.
  void FormDestroy() {
    hide();
    controller_->FormDestroy();
  }
  TMainController& Controller() { return *controller_; }

  // IMainWindow
  void SetBounds(const TFormBounds& bounds) override;
  TFormBounds Bounds() const override;
  void SetStatusText(const std::string& text) override;
  void SetBusyCursor(bool busy) override;
  void ShowRenderingMode(bool emulation) override;
  void RequestClose() override;
  void ShowArchiveState(const std::string& text, bool problem) override;
  void ShowArchiveEnabled(bool enabled) override;
  // Where archive problems are told too (a batch run's standard error).
  void SetProblemBoxes(IMessageBoxes* boxes) { problems_ = boxes; }
  void SetZoomPercent(int32_t percent) override;
  int32_t ZoomPercent() const override;

  // IHtmlView: `url` is CP932; a "file://" URL names a local path.
  void Navigate(const std::string& url) override;

  QWidget* BrowserPanel;
  QWebEngineView* MozillaBrowser;
  QStatusBar* StatusBar;
  TStatusPanel* StatusPanel;
  QMenuBar* MainMenu1;
  QMenu* FileMenu;
  QAction* LogShowMenu;
  QAction* LogLoadMenu;
  QAction* PluginSetMenu;
  QAction* FontMenu;
  QAction* SettingMenu;
  QAction* VersionMenu;
  QAction* ExitMenu;
  QMenu* RenderingModeMenu;
  QAction* EmulationMenu;
  QAction* LeftMenu;
  QMenu* ArchiveMenu;
  QAction* ArchiveSearchMenu;
  QAction* ArchivePeriodMenu;
  QAction* ArchiveEnabledMenu;
  // Beside the status text, which page loading leaves alone.
  QLabel* ArchivePanel;
  // Additions beside the design: find in page, page history.
  TFindBar* FindBar = nullptr;
  TViewHistory* History = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BrowserPanelResize();
  QAction* AddItem(QMenu* menu, const char* caption, void (TMainController::*handler)());
  void AddViewHelpers();

  QWidget* client_;
  QWebEngineProfile* profile_;
  TBrowserPage* page_;
  std::unique_ptr<TMainController> controller_;
  IMessageBoxes* problems_ = nullptr;
  // A page the program opens starts at its top, even when it is the page
  // already shown, whose place the engine would otherwise keep.
  bool toTopOnLoad_ = false;
  QShortcut* findEscape_ = nullptr;
};

}  // namespace hollowmere::qt
