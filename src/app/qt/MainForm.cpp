// The main window's widgets and their wiring to the controller.
#include "app/qt/MainForm.h"

#include <QEvent>
#include <QShortcut>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include "app/NavigationUrl.h"
#include "app/WindowPlacement.h"
#include "app/qt/ApplicationIcon.h"
#include "app/qt/QtText.h"
#include "app/qt/QtUi.h"
#include "app/qt/ScreenArea.h"
#include "app/qt/ViewContextMenu.h"
#include "app/qt/ViewZoom.h"
#include "platform/FileSystem.h"
#include "text/Visible.h"

namespace hollowmere::qt {
namespace {

// The design-time layout: a client area of 432 x 303 holding the panel of
// 428 x 282 at its top left and a status bar 19 high at its bottom.
constexpr int kClientWidth = 432;
constexpr int kClientHeight = 303;
constexpr int kStatusBarHeight = 19;
constexpr int kPanelRightGap = kClientWidth - 428;
constexpr int kPanelBottomGap = kClientHeight - kStatusBarHeight - 282;

}  // namespace

TBrowserPage::TBrowserPage(QWebEngineProfile* profile, QObject* parent, Dispatch dispatch)
    : QWebEnginePage(profile, parent), dispatch_(std::move(dispatch)) {}

bool TBrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
  const bool go = dispatch_(NavigationUrlToPageText(url.toEncoded().toStdString()));
  if (!go) refused_ = url;
  return go;
}

TMainForm::TMainForm(std::string exeDir, TSppList& plugins, Services services)
    : QMainWindow(nullptr) {
  setWindowTitle(kApplicationTitle);
  setWindowIcon(ApplicationIcon());
  QFont font(J("ＭＳ Ｐゴシック"));
  font.setPixelSize(12);
  setFont(font);

  MainMenu1 = menuBar();
  // The client area below the menu bar: the panel, anchored to its four
  // sides at their design-time distances, above the status bar.
  client_ = new QWidget(this);
  setCentralWidget(client_);
  client_->installEventFilter(this);
  BrowserPanel = new QWidget(client_);
  BrowserPanel->installEventFilter(this);

  // A profile of its own, kept in memory only: no cookies, cache or history on disk.
  profile_ = new QWebEngineProfile(this);
  MozillaBrowser = new QWebEngineView(BrowserPanel);
  page_ = new TBrowserPage(profile_, this, [this](const std::string& url) {
    bool go = false;
    controller_->Guarded([&] { go = controller_->BeforeNavigate(url); });
    return go;
  });
  QWebEngineSettings* s = page_->settings();
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  s->setDefaultTextEncoding("Shift_JIS");
  MozillaBrowser->setPage(page_);
  MozillaBrowser->setAcceptDrops(false);

  StatusBar = statusBar();
  StatusBar->setSizeGripEnabled(false);
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusPanel = new TStatusPanel(StatusBar);
  // Status texts carry ghosts' names and the service's words: never markup.
  StatusPanel->setTextFormat(Qt::PlainText);
  StatusBar->addWidget(StatusPanel, 1);
  ArchivePanel = new QLabel(StatusBar);
  ArchivePanel->setTextFormat(Qt::PlainText);
  ArchivePanel->setContentsMargins(0, 0, 8, 0);
  StatusBar->addPermanentWidget(ArchivePanel);

  controller_ = std::make_unique<TMainController>(
      std::move(exeDir), plugins,
      TMainController::Parts{*this, *this, services.Boxes, services.Shell,
                             services.SettingDialog, services.FontChooser,
                             services.FileChooser, services.Loop, services.Baseware,
                             services.Service, services.ArchiveSearch});
  BuildMenus();
  AddViewHelpers();

  // A refused navigation (a vote, a link for the shell) loads nothing; its
  // start and stop must not cover the status text its rule has just set.
  connect(page_, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    if (page_->WasRefused(info.url())) return;
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
      controller_->Guarded([this] { controller_->DownloadBegin(); });
    } else {
      if (toTopOnLoad_) {
        toTopOnLoad_ = false;
        // Page scripts are off; this one runs in the program's own world.
        page_->runJavaScript(QStringLiteral("window.scrollTo(0, 0);"), QWebEngineScript::ApplicationWorld);
      }
      controller_->Guarded([this] { controller_->DownloadComplete(); });
    }
  });

  // The design-time client area (the menu bar is outside it); the settings
  // replace the window's bounds at start.
  resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
}

TMainForm::~TMainForm() {
  // The page must go before its profile.
  delete MozillaBrowser;
  MozillaBrowser = nullptr;
  delete page_;
  page_ = nullptr;
}

QAction* TMainForm::AddItem(QMenu* menu, const char* caption,
                            void (TMainController::*handler)()) {
  QAction* item = menu->addAction(J(caption));
  connect(item, &QAction::triggered, this,
          [this, handler] { controller_->Guarded([this, handler] { (controller_.get()->*handler)(); }); });
  return item;
}

void TMainForm::BuildMenus() {
  FileMenu = MainMenu1->addMenu(J("ファイル(&F)"));
  LogShowMenu = AddItem(FileMenu, "ログ一括表示(&L)...", &TMainController::LogShowMenuClick);
  LogLoadMenu = AddItem(FileMenu, "ログファイル読み込み", &TMainController::LogLoadMenuClick);
  PluginSetMenu =
      AddItem(FileMenu, "プラグインディレクトリ設定(&P)...", &TMainController::PluginSetMenuClick);
  FontMenu = AddItem(FileMenu, "表示フォント設定(&F)...", &TMainController::FontMenuClick);
  SettingMenu = AddItem(FileMenu, "設定...(&S)", &TMainController::SettingMenuClick);
  VersionMenu = AddItem(FileMenu, "バージョン情報...(&V)", &TMainController::VersionMenuClick);
  ExitMenu = AddItem(FileMenu, "終了(&E)", &TMainController::ExitMenuClick);

  RenderingModeMenu = MainMenu1->addMenu(J("レンダリングモード(&R)"));
  EmulationMenu = AddItem(RenderingModeMenu, "ゴースト配置エミュレーション(&E)",
                          &TMainController::EmulationMenuClick);
  LeftMenu = AddItem(RenderingModeMenu, "左寄せ(&L)", &TMainController::LeftMenuClick);
  EmulationMenu->setCheckable(true);
  LeftMenu->setCheckable(true);
  ShowRenderingMode(true);

  ArchiveMenu = MainMenu1->addMenu(J("アーカイブ(&A)"));
  ArchiveSearchMenu = AddItem(ArchiveMenu, "検索(&S)...", &TMainController::ArchiveSearchMenuClick);
  ArchiveSearchMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  ArchivePeriodMenu = AddItem(ArchiveMenu, "期間を表示(&D)...", &TMainController::ArchivePeriodMenuClick);
  ArchiveMenu->addSeparator();
  ArchiveEnabledMenu =
      AddItem(ArchiveMenu, "取得したログを保存する(&K)", &TMainController::ArchiveEnabledMenuClick);
  ArchiveEnabledMenu->setCheckable(true);
  ArchiveEnabledMenu->setChecked(true);
}

void TMainForm::AddViewHelpers() {
  FindBar = new TFindBar(page_, MozillaBrowser, BrowserPanel);
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, FindBar, [this] { FindBar->Open(); });
  connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, FindBar,
          [this] { FindBar->FindNext(false); });
  connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, FindBar,
          [this] { FindBar->FindNext(true); });
  FindBar->installEventFilter(this);
  // Esc closes the bar wherever the focus is in the window; while the bar
  // is hidden the key is left alone.
  findEscape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  findEscape_->setEnabled(false);
  connect(findEscape_, &QShortcut::activated, FindBar, [this] { FindBar->Close(); });
  InstallZoomKeys(this, MozillaBrowser);
  History = new TViewHistory(MozillaBrowser, this);
  // Ctrl+Q ends the program as the exit item does.
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, ExitMenu,
          &QAction::trigger);
  // Addresses as the page wrote them, not percent-encoded.
  const auto linkText = [](const QUrl& url) {
    return ToQ(NavigationUrlToPageText(url.toEncoded().toStdString()));
  };
  connect(page_, &QWebEnginePage::linkHovered, StatusPanel,
          [this, linkText](const QString& url) { StatusPanel->ShowLink(url.isEmpty() ? url : linkText(QUrl(url))); });
  InstallViewContextMenu(MozillaBrowser, linkText);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // The find bar takes its room from the view while it is shown.
  if (watched == FindBar && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    if (findEscape_ != nullptr) findEscape_->setEnabled(event->type() == QEvent::Show);
    BrowserPanelResize();
  }
  if (event->type() == QEvent::Resize) {
    if (watched == client_) {
      BrowserPanel->setGeometry(0, 0, std::max(0, client_->width() - kPanelRightGap),
                                std::max(0, client_->height() - kPanelBottomGap));
    } else if (watched == BrowserPanel) {
      BrowserPanelResize();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::BrowserPanelResize() {
  if (MozillaBrowser == nullptr) return;
  const int findHeight = FindBar != nullptr && FindBar->isVisibleTo(BrowserPanel) ? FindBar->sizeHint().height() : 0;
  const int viewHeight = std::max(0, BrowserPanel->height() - findHeight);
  MozillaBrowser->setGeometry(0, 0, std::max(0, BrowserPanel->width() - 10), viewHeight);
  if (findHeight > 0) FindBar->setGeometry(0, viewHeight, std::max(0, BrowserPanel->width() - 10), findHeight);
}

void TMainForm::SetBounds(const TFormBounds& bounds) {
  // The saved bounds may be anything; the window takes them fitted to the
  // screen they name, and Bounds() then gives what it took.
  const TFormBounds fitted = FitFormBounds(bounds, AvailableAreaAt(QPoint(bounds.Left, bounds.Top)));
  move(fitted.Left, fitted.Top);
  resize(fitted.Width, fitted.Height);
  BrowserPanelResize();
}

TFormBounds TMainForm::Bounds() const {
  TFormBounds bounds;
  bounds.Top = pos().y();
  bounds.Left = pos().x();
  bounds.Width = width();
  bounds.Height = height();
  return bounds;
}

void TMainForm::SetStatusText(const std::string& text) {
  StatusPanel->SetStatus(ToQ(text::VisibleControls(text, text::LineBreaks::Show)));
}

void TMainForm::SetBusyCursor(bool busy) {
  if (busy) {
    MozillaBrowser->setCursor(Qt::WaitCursor);
  } else {
    MozillaBrowser->unsetCursor();
  }
}

void TMainForm::ShowRenderingMode(bool emulation) {
  EmulationMenu->setChecked(emulation);
  LeftMenu->setChecked(!emulation);
}

void TMainForm::RequestClose() { close(); }

void TMainForm::ShowArchiveState(const std::string& text, bool problem) {
  // A merge failure may quote a file's name: its control bytes show too.
  const QString shown = ToQ(text::VisibleControls(text, text::LineBreaks::Show));
  ArchivePanel->setText(shown);
  ArchivePanel->setToolTip(shown.toHtmlEscaped());
  ArchivePanel->setStyleSheet(problem ? QStringLiteral("color: #b00000") : QString());
  if (problem && problems_ != nullptr) problems_->ShowMessage(text);
}

void TMainForm::ShowArchiveEnabled(bool enabled) { ArchiveEnabledMenu->setChecked(enabled); }

void TMainForm::SetZoomPercent(int32_t percent) { SetViewZoomPercent(*MozillaBrowser, percent); }

int32_t TMainForm::ZoomPercent() const { return ViewZoomPercent(*MozillaBrowser); }

void TMainForm::Navigate(const std::string& url) {
  toTopOnLoad_ = true;
  static const std::string fileScheme = "file://";
  if (url.compare(0, fileScheme.size(), fileScheme) == 0) {
    const std::string path = url.substr(fileScheme.size());
    MozillaBrowser->load(QUrl::fromLocalFile(QString::fromStdString(NativePath(path))));
  } else {
    MozillaBrowser->load(QUrl(ToQ(url)));
  }
}

}  // namespace hollowmere::qt
