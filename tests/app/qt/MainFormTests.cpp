// The main window as a user meets it, on a program folder of its own: first
// start, menus, the view beside its panel, the mode items, the font chooser,
// the settings dialog, the log file item with its status texts and pictures,
// and the link rules through the real web view.
#include <QElapsedTimer>
#include <QFontDialog>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QWebEngineLoadingInfo>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "WindowTests.h"
#include "app/FakeWindow.h"
#include "app/qt/MainForm.h"
#include "app/qt/QtMainLoop.h"
#include "app/qt/QtText.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "ghost/DirectSstpSend.h"
#include "ghost/PlayLink.h"
#include "platform/FmoFiles.h"
#include "platform/IniFile.h"
#include "platform/SocketWindows.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere::qt::testing {
namespace {

namespace fs = std::filesystem;
using hollowmere::testing::DistDir;
using hollowmere::testing::FakeFileChooser;
using hollowmere::testing::FakeMessageBoxes;
using hollowmere::testing::FakeProgressWindows;
using hollowmere::testing::FakeShell;
using hollowmere::testing::SourceDir;
using hollowmere::testing::TempDir;
using text::Sjis;

void Spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

int CountColour(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    }
  }
  return n;
}

class MainFormTests : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::unique_ptr<FakeMessageBoxes> boxes;
  std::unique_ptr<FakeProgressWindows> progress;
  std::unique_ptr<TSppList> plugins;
  std::unique_ptr<FakeShell> shell;
  std::unique_ptr<TQtSettingDialog> settingDialog;
  std::unique_ptr<TQtFontChooser> fontChooser;
  std::unique_ptr<FakeFileChooser> files;
  std::unique_ptr<TQtMainLoop> loop;
  std::unique_ptr<TFmoFiles> fmo;
  std::unique_ptr<TSocketWindows> windows;
  hollowmere::testing::FakeLogDownDialog logDialog;
  hollowmere::testing::FakeFetchProgressWindows fetchProgress;
  TSystemClock clock;
  hollowmere::testing::FixedDateFormats dateFormats;
  TServiceParts service{logDialog, fetchProgress, clock, dateFormats, "127.0.0.1:1", {}};
  std::unique_ptr<TMainForm> form;

  std::string Ini() const { return dir->file("Hollowmere.ini"); }
  std::string FmoDir() const { return dir->file("fmo"); }
  void SetPluginFolder(const std::string& folder) {
    Spit(Ini(), "[General]\r\nSppDir=" + folder + "\r\n");
  }
  // Starts the window and shows it, as the program does.
  void Start() {
    form->FormCreate();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  bool WaitForLoad(QSignalSpy& spy) { return spy.count() > 0 || spy.wait(30000); }

  // The stand-in baseware in the test's folder; what it prints collects in standinOut.
  std::unique_ptr<QProcess> standin;
  QString standinOut;
  bool StartStandin(const QStringList& options) {
    standin = std::make_unique<QProcess>();
    standin->setProcessChannelMode(QProcess::MergedChannels);
    connect(standin.get(), &QProcess::readyReadStandardOutput, this,
            [this] { standinOut += QString::fromUtf8(standin->readAllStandardOutput()); });
    standin->start(GHOST_STANDIN, QStringList{"--dir", QString::fromStdString(FmoDir())} + options);
    return standin->waitForStarted(10000) && StandinSays("ready\n");
  }
  bool StandinSays(const QString& text, int ms = 15000) {
    for (QElapsedTimer t; !standinOut.contains(text); QTest::qWait(20)) {
      if (!t.isValid()) t.start();
      if (t.elapsed() > ms) return false;
    }
    return true;
  }
  // A page with one play link filling the top 40 pixels, shown in the view.
  bool ShowPlayLink(const TMessageItem& message) {
    Spit(dir->file("long5.html"),
         Sjis("<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">"
              "<style>body{margin:0} a{display:block;height:40px}</style></head><body>\r\n<a href=\"") +
             MakePlayLink(message) + Sjis("\">再生</a>\r\n</body></html>\r\n"));
    QSignalSpy loaded(form->MozillaBrowser, &QWebEngineView::loadFinished);
    form->Navigate("file://" + dir->path() + "long5.html");
    return WaitForLoad(loaded);
  }
  void ClickPlay() {
    QTest::mouseClick(form->MozillaBrowser->focusProxy(), Qt::LeftButton, {}, QPoint(20, 20));
  }
  void StartPlaying() {
    Spit(Ini(), "[General]\r\nSppDir=" + dir->path() + "\r\n[Play]\r\nEnabled=1\r\n");
    Start();
  }

 private slots:
  void init() {
    dir = std::make_unique<TempDir>();
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      fs::copy_file(SourceDir() + "/data/" + name, dir->file(name));
    }
    boxes = std::make_unique<FakeMessageBoxes>();
    progress = std::make_unique<FakeProgressWindows>();
    plugins = std::make_unique<TSppList>(true, *progress, *boxes);
    shell = std::make_unique<FakeShell>();
    settingDialog = std::make_unique<TQtSettingDialog>();
    fontChooser = std::make_unique<TQtFontChooser>();
    files = std::make_unique<FakeFileChooser>();
    loop = std::make_unique<TQtMainLoop>();
    // The baseware folder of the test's own, for the stand-in ghost too.
    fmo = std::make_unique<TFmoFiles>(FmoDir());
    windows = std::make_unique<TSocketWindows>(*loop, FmoDir());
    form = std::make_unique<TMainForm>(
        dir->path(), *plugins,
        TMainForm::Services{*boxes, *shell, *settingDialog, *fontChooser, *files, *loop,
                            {*fmo, *windows}, service});
    settingDialog->SetOwner(form.get());
    fontChooser->SetOwner(form.get());
  }

  void cleanup() {
    if (standin) {
      standin->terminate();
      standin->waitForFinished(5000);
      standin.reset();
    }
    standinOut.clear();
    form.reset();
    plugins.reset();
    dir.reset();
  }

  void firstStartWithoutSettingsFile() {
    Start();
    QCOMPARE(form->pos(), QPoint(209, 145));
    QCOMPARE(form->size(), QSize(440, 351));
    QVERIFY(form->EmulationMenu->isChecked());
    QVERIFY(!form->LeftMenu->isChecked());
    QCOMPARE(boxes->messages, std::vector<std::string>{Sjis("プラグインディレクトリを設定して下さい")});
    QCOMPARE(files->filters.size(), std::size_t{1});
    QCOMPARE(form->windowTitle(), QString("Hollowmere"));
    // The desktop entry's icon: the pink balloon at the upper left, the blue
    // one at the lower right.
    const QImage icon = form->windowIcon().pixmap(128, 128).toImage();
    QCOMPARE(icon.size(), QSize(128, 128));
    QCOMPARE(icon.pixel(30, 30) & 0xFFFFFF, qRgb(0xFF, 0xB6, 0xC1) & 0xFFFFFF);
    QCOMPARE(icon.pixel(100, 97) & 0xFFFFFF, qRgb(0xB0, 0xC4, 0xDE) & 0xFFFFFF);
    QCOMPARE(form->MozillaBrowser->width(), form->BrowserPanel->width() - 10);
    QCOMPARE(form->MozillaBrowser->height(), form->BrowserPanel->height());
    QCOMPARE(form->Controller().Settings().MessagesPerPage, 100);
    QCOMPARE(form->Controller().Settings().HtmlFont, Sjis("ＭＳ 明朝"));
  }

  void designTimeLayoutAndItsAnchors() {
    // Before the settings place it: a client area (below the menu bar) of
    // 432 x 303, the panel 428 x 282 at its top left, a status bar 19 high.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_COMPARE(form->StatusBar->height(), 19);
    QCOMPARE(form->width(), 432);
    QCOMPARE(form->height() - form->MainMenu1->height(), 303);
    QCOMPARE(form->StatusBar->geometry().bottom(), form->height() - 1);
    QCOMPARE(form->BrowserPanel->mapTo(form.get(), QPoint(0, 0)), QPoint(0, form->MainMenu1->height()));
    QCOMPARE(form->BrowserPanel->size(), QSize(428, 282));
    QCOMPARE(form->MozillaBrowser->size(), QSize(418, 282));
    // Resized, the panel keeps its distances to the right and to the status
    // bar, and the status bar its height.
    form->resize(700, 500);
    QTRY_COMPARE(form->BrowserPanel->width(), 700 - 4);
    QCOMPARE(form->BrowserPanel->height(), 500 - form->MainMenu1->height() - 19 - 2);
    QCOMPARE(form->StatusBar->height(), 19);
    QCOMPARE(form->MozillaBrowser->size(), QSize(700 - 4 - 10, form->BrowserPanel->height()));
  }

  void patternFileErrorStillShowsTheWindow() {
    fs::remove(dir->file("metapat.txt"));
    SetPluginFolder(dir->path());
    Start();
    QVERIFY(form->isVisible());
    QCOMPARE(boxes->messages, std::vector<std::string>{Sjis("ファイル ") + dir->file("metapat.txt") +
                                                       Sjis(" は開けません")});
  }

  void menusInOrderWithTheirCaptions() {
    const QList<QAction*> top = form->MainMenu1->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0]->text(), J("ファイル(&F)"));
    QCOMPARE(top[1]->text(), J("レンダリングモード(&R)"));
    QCOMPARE(top[2]->text(), J("アーカイブ(&A)"));
    QStringList file;
    for (QAction* a : form->FileMenu->actions()) file << a->text();
    QCOMPARE(file, (QStringList{J("ログ一括表示(&L)..."), J("ログファイル読み込み"),
                                J("プラグインディレクトリ設定(&P)..."), J("表示フォント設定(&F)..."),
                                J("設定...(&S)"), J("バージョン情報...(&V)"), J("終了(&E)")}));
    QVERIFY(form->LogShowMenu->isEnabled());
    QStringList mode;
    for (QAction* a : form->RenderingModeMenu->actions()) mode << a->text();
    QCOMPARE(mode, (QStringList{J("ゴースト配置エミュレーション(&E)"), J("左寄せ(&L)")}));
    QVERIFY(form->EmulationMenu->isCheckable());
    QVERIFY(form->LeftMenu->isCheckable());
    QStringList archive;
    for (QAction* a : form->ArchiveMenu->actions()) {
      if (!a->isSeparator()) archive << a->text();
    }
    QCOMPARE(archive, (QStringList{J("検索(&S)..."), J("期間を表示(&D)..."), J("取得したログを保存する(&K)")}));
    QCOMPARE(form->ArchiveSearchMenu->shortcut(), QKeySequence(J("Ctrl+Shift+F")));
    QVERIFY(form->ArchiveEnabledMenu->isChecked());
  }

  void statusTextsShowAsPlainTextWithTheirControlBytesVisible() {
    form->SetStatusText("<b>" + Sjis("ゴースト") + "</b>\x1b]0;owned\x07\r\n");
    QCOMPARE(form->StatusPanel->text(), "<b>" + J("ゴースト") + "</b>^[]0;owned^G^M^J");
    QCOMPARE(form->StatusPanel->textFormat(), Qt::PlainText);
  }

  void viewKeepsToThePanel() {
    SetPluginFolder(dir->path());
    Start();
    form->resize(700, 500);
    QTRY_COMPARE(form->MozillaBrowser->width(), form->BrowserPanel->width() - 10);
    QCOMPARE(form->MozillaBrowser->height(), form->BrowserPanel->height());
    QVERIFY(form->BrowserPanel->width() > 600);
  }

  void modeItemsFlipAndBoundsAndModeAreSaved() {
    SetPluginFolder(dir->path());
    Start();
    form->EmulationMenu->trigger();
    QVERIFY(!form->EmulationMenu->isChecked());
    QVERIFY(form->LeftMenu->isChecked());
    form->LeftMenu->trigger();
    QVERIFY(form->EmulationMenu->isChecked());
    QVERIFY(!form->LeftMenu->isChecked());
    form->LeftMenu->trigger();
    QVERIFY(form->LeftMenu->isChecked());
    QVERIFY(!form->Controller().Settings().Emulation);
    form->move(30, 40);
    form->resize(500, 420);
    form->FormDestroy();
    const TIniFile ini(Ini());
    QCOMPARE(ini.ReadString("General", "RenderingMode", "?"), std::string("0"));
    QCOMPARE(ini.ReadInteger("Form", "Left", -1), form->pos().x());
    QCOMPARE(ini.ReadInteger("Form", "Top", -1), form->pos().y());
    QCOMPARE(ini.ReadInteger("Form", "Width", -1), 500);
    QCOMPARE(ini.ReadInteger("Form", "Height", -1), 420);
  }

  void boundsBeyondTheScreenAreFittedAndSavedAsFitted() {
    Spit(Ini(), "[General]\r\nSppDir=" + dir->path() +
                    "\r\n[Form]\r\nTop=-2147483648\r\nLeft=2147483647\r\nWidth=2147483647\r\nHeight=0\r\n");
    Start();
    const QRect screen = form->screen()->availableGeometry();
    QVERIFY(form->width() <= screen.width());
    QVERIFY(form->height() > 0 && form->height() <= screen.height());
    QVERIFY(screen.contains(form->pos()));
    form->FormDestroy();
    const TIniFile ini(Ini());
    QCOMPARE(ini.ReadInteger("Form", "Top", 0), form->pos().y());
    QCOMPARE(ini.ReadInteger("Form", "Width", 0), form->width());
  }

  void fontChooserKeepsOnlyTheFaceName() {
    SetPluginFolder(dir->path());
    Start();
    QString picked;
    WhenModalShows([&](QWidget* w) {
      auto* dialog = qobject_cast<QFontDialog*>(w);
      if (dialog == nullptr) return w->close(), void();
      QFont font(J("IPAPGothic"));
      font.setPixelSize(24);
      font.setBold(true);
      font.setItalic(true);
      dialog->setCurrentFont(font);
      picked = dialog->currentFont().family();
      dialog->accept();
    });
    form->FontMenu->trigger();
    QVERIFY(!picked.isEmpty());
    QCOMPARE(form->Controller().Settings().HtmlFont, FromQ(picked));
  }

  void settingsDialogThroughTheMenu() {
    SetPluginFolder(dir->path());
    Start();
    bool stayedOpen = false;
    WhenModalShows([&](QWidget* w) {
      auto* dialog = dynamic_cast<TSettingForm*>(w);
      if (dialog == nullptr) return w->close(), void();
      dialog->LUIDEdit->setText("someone");
      dialog->PageEdit->setText("abc");
      QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
      stayedOpen = dialog->isVisible();
      QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
    });
    form->SettingMenu->trigger();
    QVERIFY(stayedOpen);
    QCOMPARE(form->Controller().Settings().Luid, std::string());
    QCOMPARE(form->Controller().Settings().MessagesPerPage, 100);

    WhenModalShows([&](QWidget* w) {
      auto* dialog = dynamic_cast<TSettingForm*>(w);
      if (dialog == nullptr) return w->close(), void();
      dialog->LUIDEdit->setText("someone");
      dialog->PageEdit->setText("7");
      dialog->PlayCheck->setChecked(true);
      QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
    });
    form->SettingMenu->trigger();
    QCOMPARE(form->Controller().Settings().Luid, std::string("someone"));
    QCOMPARE(form->Controller().Settings().MessagesPerPage, 7);
    QVERIFY(form->Controller().Settings().PlayEnabled);
  }

  void logFileWithoutLogTxtIsReported() {
    SetPluginFolder(dir->path());
    Start();
    form->LogLoadMenu->trigger();
    QCOMPARE(boxes->messages, std::vector<std::string>{Sjis("ファイル ") + dir->file("log.txt") +
                                                       Sjis(" は開けません")});
    QVERIFY(form->MozillaBrowser->url().isEmpty());
  }

  // The sample log in the real view: status texts while it loads, page 0
  // shown, and the balloons' colours and the pictures on the screen.
  void logFileShowsPageZeroWithBalloonsAndPictures() {
    fs::copy_file(SourceDir() + "/data/log.txt", dir->file("log.txt"));
    const std::string pluginDir = DistDir() + "/plugins/";
    SetPluginFolder(pluginDir);
    Start();
    QString statusWhileLoading;
    Qt::CursorShape cursorWhileLoading = Qt::ArrowCursor;
    connect(form->MozillaBrowser->page(), &QWebEnginePage::loadingChanged, this,
            [&](const QWebEngineLoadingInfo& info) {
              if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) return;
              statusWhileLoading = form->StatusPanel->text();
              cursorWhileLoading = form->MozillaBrowser->cursor().shape();
            });
    QSignalSpy loaded(form->MozillaBrowser, &QWebEngineView::loadFinished);
    form->LogLoadMenu->trigger();
    QVERIFY2(boxes->messages.empty(), boxes->messages.empty() ? "" : boxes->messages[0].c_str());
    QVERIFY(WaitForLoad(loaded));
    QVERIFY(loaded.front().front().toBool());
    QVERIFY(form->MozillaBrowser->url().toLocalFile().endsWith("/long0.html"));
    QCOMPARE(statusWhileLoading, J("読み込み中..."));
    QCOMPARE(cursorWhileLoading, Qt::WaitCursor);
    QCOMPARE(form->StatusPanel->text(), J("読み込み完了"));
    QCOMPARE(form->MozillaBrowser->cursor().shape(), Qt::ArrowCursor);

    form->resize(900, 800);
    int pink = 0, blue = 0;
    for (int i = 0; i < 100 && (pink < 200 || blue < 200); ++i) {
      QTest::qWait(100);
      const QImage shot = form->grab().toImage();
      pink = CountColour(shot, qRgb(0xFF, 0xB6, 0xC1));
      blue = CountColour(shot, qRgb(0xB0, 0xC4, 0xDE));
    }
    QVERIFY2(pink >= 200, qPrintable(QString("pink pixels: %1").arg(pink)));
    QVERIFY2(blue >= 200, qPrintable(QString("blue pixels: %1").arg(blue)));
    // The pictures came from the sample plugin into the cache.
    QVERIFY(fs::exists(dir->file("cache")));
    QVERIFY(!fs::is_empty(dir->file("cache")));
  }

  // Links of a Shift_JIS page, clicked in the real view: the rules see the
  // page's own bytes (a backslash excepted, which the engine turns into "/").
  void linksReachTheRulesAsThePageWroteThem() {
    SetPluginFolder(dir->path());
    Start();
    const std::vector<std::string> shellLinks{
        Sjis("http://example.com/パス ソ?q=表 示&x=1#frag ソ"),
        "mailto:someone@example.com",
    };
    const std::vector<std::string> expected{
        Sjis("http://example.com/パス ソ?q=表 示&x=1#frag ソ"),
        "mailto:someone@example.com",
    };
    // Each link a 40-pixel band, to be clicked as a user would: the engine
    // hands links of other schemes on only after a real click.
    std::string page = Sjis(
        "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">"
        "<style>body{margin:0} a{display:block;height:40px}</style></head><body>\r\n");
    for (std::size_t i = 0; i < shellLinks.size(); ++i) {
      page += "<a href=\"" + shellLinks[i] + "\">x</a>\r\n";
    }
    page += "<a href=\"file://" + dir->path() + "long2.html\">2</a>\r\n</body></html>\r\n";
    auto clickLink = [&](std::size_t i) {
      QTest::mouseClick(form->MozillaBrowser->focusProxy(), Qt::LeftButton, {},
                        QPoint(20, static_cast<int>(i) * 40 + 20));
    };
    Spit(dir->file("long9.html"), page);
    Spit(dir->file("long2.html"), "<html><body>two</body></html>");

    QSignalSpy loaded(form->MozillaBrowser, &QWebEngineView::loadFinished);
    form->Navigate("file://" + dir->path() + "long9.html");
    QVERIFY(WaitForLoad(loaded));
    for (std::size_t i = 0; i < shellLinks.size(); ++i) {
      clickLink(i);
      QTRY_COMPARE_WITH_TIMEOUT(shell->opened.size(), i + 1, 10000);
      QCOMPARE(shell->opened[i].url, expected[i]);
      QCOMPARE(shell->opened[i].verb, std::string());
    }
    // The view stayed where it was, and its loading state ended with the click.
    QVERIFY(form->MozillaBrowser->url().toLocalFile().endsWith("/long9.html"));
    QTRY_COMPARE(form->StatusPanel->Status(), J("読み込み完了"));
    QVERIFY(form->MozillaBrowser->cursor().shape() != Qt::WaitCursor);

    // Under load the engine may report the earlier page's load late, so the
    // wait is for the page itself.
    clickLink(shellLinks.size());
    QTRY_VERIFY_WITH_TIMEOUT(form->MozillaBrowser->url().toLocalFile().endsWith("/long2.html"), 30000);
    QCOMPARE(shell->opened.size(), shellLinks.size());
  }

  // "再生" clicked in the real view reaches a running ghost with the script
  // the link's round trip gives: the view reports "\\" as "/", the link's
  // percent signs decode ("% 5" and "%of" vanish), "," becomes "." and the
  // final \\e goes.
  // The view's keys: find bar, zoom, page history and Ctrl+Q, as a user
  // presses them on the window.
  void viewKeysFindZoomGoBackAndQuit() {
    SetPluginFolder(dir->path());
    Start();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    Spit(dir->file("long0.html"), "<html><body>abc x abc y abc</body></html>");
    Spit(dir->file("long1.html"), "<html><body>one</body></html>");
    QSignalSpy loaded(form->MozillaBrowser, &QWebEngineView::loadFinished);
    form->Navigate("file://" + dir->path() + "long0.html");
    QVERIFY(WaitForLoad(loaded));
    const int fullHeight = form->MozillaBrowser->height();
    QCOMPARE(fullHeight, form->BrowserPanel->height());

    const auto key = [&](int k, Qt::KeyboardModifiers m = {}) {
      QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
      QTest::keyClick(focus, static_cast<Qt::Key>(k), m);
    };
    key(Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(form->FindBar->isVisible());
    QVERIFY(form->MozillaBrowser->height() < fullHeight);
    QTest::keyClicks(form->FindBar->Field(), "abc");
    struct Step {
      int key;
      Qt::KeyboardModifiers mods;
      const char* count;
    };
    const Step steps[] = {{0, {}, "1 / 3 件"},
                          {Qt::Key_Return, {}, "2 / 3 件"},
                          {Qt::Key_F3, {}, "3 / 3 件"},
                          {Qt::Key_F3, {}, "1 / 3 件"},
                          {Qt::Key_F3, Qt::ShiftModifier, "3 / 3 件"}};
    for (const Step& step : steps) {
      if (step.key != 0) key(step.key, step.mods);
      QTRY_COMPARE_WITH_TIMEOUT(form->FindBar->Count()->text(), J(step.count), 10000);
    }
    key(Qt::Key_Escape);
    QTRY_VERIFY(!form->FindBar->isVisible());
    QCOMPARE(form->MozillaBrowser->height(), fullHeight);

    const struct {
      int key;
      int32_t zoom;
    } zooms[] = {{Qt::Key_Equal, 110}, {Qt::Key_Equal, 125}, {Qt::Key_Minus, 110},
                 {Qt::Key_0, 100}, {Qt::Key_Minus, 90}};
    for (const auto& z : zooms) {
      key(z.key, Qt::ControlModifier);
      QTRY_COMPARE(form->ZoomPercent(), z.zoom);
    }

    loaded.clear();
    form->Navigate("file://" + dir->path() + "long1.html");
    QVERIFY(WaitForLoad(loaded));
    const struct {
      int key;
      const char* page;
    } moves[] = {{Qt::Key_Left, "/long0.html"}, {Qt::Key_Left, "/long0.html"}, {Qt::Key_Right, "/long1.html"}};
    for (const auto& m : moves) {
      key(m.key, Qt::AltModifier);
      QTRY_VERIFY_WITH_TIMEOUT(form->MozillaBrowser->url().toLocalFile().endsWith(m.page), 10000);
    }
    // Zoom stays across pages, and Ctrl+Q ends as the exit item does.
    QCOMPARE(form->ZoomPercent(), 90);
    key(Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!form->isVisible());
  }

  void playLinkReachesTheStandinGhost() {
    QVERIFY(StartStandin({"--ghost", J("さくら,うにゅう,3101")}));
    StartPlaying();
    TMessageItem message;
    message.GhostName = Sjis("さくら");
    message.Headers = {"Channel:" + Sjis("雑談")};
    message.Script = Sjis("\\0\\s[0]ソ表示 100% 50%off,\\1\\s[10]ok\\e");
    QVERIFY(ShowPlayLink(message));
    ClickPlay();
    QVERIFY2(StandinSays("=== end of request 1\n"), qPrintable(standinOut));
    const QString request = J("SEND SSTP/1.4\n"
                              "Charset: Shift_JIS\n"
                              "Sender:  さくら/雑談/Hollowmere\n"
                              "IfGhost: さくら,うにゅう\n"
                              "Script: \\0\\s[0]ソ表示 1000f.\\1\\s[10]ok\n"
                              "HWnd: %1\n"
                              "X-Voyla-IfGhost: さくら\n")
                                .arg(form->Controller().Sstp()->ReplyWindow());
    QVERIFY2(standinOut.contains(request), qPrintable(standinOut));
    QVERIFY(standinOut.contains(J("=== request 1 to window 3101 (さくら)")));
    QVERIFY(standinOut.contains("dwData 9801"));
    // Acknowledged: nothing waits, the view stayed and nothing went elsewhere.
    QVERIFY(StandinSays("answered \"SSTP/1.4 200 OK\""));
    QTRY_COMPARE(form->Controller().Sstp()->QueueLength(), std::size_t{0});
    QCOMPARE(form->Controller().Sstp()->LastReply().substr(0, 15), std::string("SSTP/1.4 200 OK"));
    QVERIFY(form->MozillaBrowser->url().toLocalFile().endsWith("/long5.html"));
    QVERIFY(shell->opened.empty());
    QVERIFY(boxes->messages.empty());
  }

  // Ending the program while a ghost takes its time to answer: the window
  // goes at once, and the end does not wait for the answer.
  void endingWhileADeliveryRunsEndsWithoutWaitingForTheGhost() {
    QVERIFY(StartStandin({"--answer", "late:5000"}));
    StartPlaying();
    TMessageItem message;
    message.GhostName = "G";
    message.Headers = {"Channel:C"};
    message.Script = "\\0slow";
    QVERIFY(ShowPlayLink(message));
    ClickPlay();
    QVERIFY2(StandinSays("answering request 1 in 5000 ms"), qPrintable(standinOut));
    QElapsedTimer ending;
    ending.start();
    form->FormDestroy();
    QVERIFY(!form->isVisible());
    QVERIFY2(ending.elapsed() < 2000, qPrintable(QString::number(ending.elapsed())));
    QVERIFY(form->Controller().Sstp() == nullptr);
  }
};

}  // namespace

std::unique_ptr<QObject> MakeMainFormTests() { return std::make_unique<MainFormTests>(); }

}  // namespace hollowmere::qt::testing

#include "MainFormTests.moc"
