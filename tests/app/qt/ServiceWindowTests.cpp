// The service as a user meets it in the window: the log download dialog
// (controls, start values, change rules, the three modes' requests), the
// user's date formats, and the window against the stand-in: a fetch through
// the menu, votes clicked in the real view on mixed-case MIDs, their replies
// reaching the window from the worker through Qt's loop, and the counts
// rising on the next fetch.
#include <QLineEdit>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <filesystem>

#include "WindowTests.h"
#include "app/FakeWindow.h"
#include "app/qt/FetchProgress.h"
#include "app/qt/LogDownForm.h"
#include "app/qt/MainForm.h"
#include "app/qt/QtDateFormats.h"
#include "app/qt/QtMainLoop.h"
#include "app/qt/QtText.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "platform/FmoFiles.h"
#include "platform/SocketWindows.h"
#include "support/FakeUi.h"
#include "support/StandinProcess.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere::qt::testing {
namespace {

namespace fs = std::filesystem;
using hollowmere::testing::FakeFileChooser;
using hollowmere::testing::FakeProgressWindows;
using hollowmere::testing::FakeShell;
using hollowmere::testing::ReadFileBytes;
using hollowmere::testing::SourceDir;
using hollowmere::testing::StandinProcess;
using hollowmere::testing::TempDir;
using hollowmere::testing::WriteFileBytes;
using text::Sjis;

const TLocalTime kNow{{2004, 7, 15}, {12, 30, 45}};

class FixedNow : public IClock {
 public:
  TLocalTime Now() const override { return kNow; }
};

// Message boxes that also note whether they were opened on the main thread.
class MainThreadBoxes : public hollowmere::testing::FakeMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override {
    offMainThread = offMainThread || QThread::currentThread() != qApp->thread();
    FakeMessageBoxes::ShowMessage(text);
  }
  void Beep() override {
    offMainThread = offMainThread || QThread::currentThread() != qApp->thread();
    FakeMessageBoxes::Beep();
  }
  bool offMainThread = false;
};

// Three messages within the last hour, two with capitals in their MIDs.
std::string MixedCaseLog() {
  std::string log = "Result: OK\r\nx\r\ny\r\n";
  for (const char* mid : {"AbC1", "xYz9", "plain"}) {
    log += std::string("20040101120000\t") + mid + "\tCh\t" + Sjis("さくら") + "\t1\t0\t0\t\\0\\s[0]" +
           Sjis("こんにちは") + "\\e\r\n";
  }
  return log;
}

class ServiceWindowTests : public QObject {
  Q_OBJECT

  TQtDateFormats japanese{QLocale(QLocale::Japanese, QLocale::Japan)};
  FixedNow now;

  // Opens the dialog through TQtLogDownDialog and lets `user` work it.
  bool RunDialog(TLogConditions& conditions, std::function<void(TLogDownForm&)> user) {
    TQtLogDownDialog dialog(japanese);
    WhenModalShows([user](QWidget* w) {
      auto* form = dynamic_cast<TLogDownForm*>(w);
      if (form == nullptr) return w->close(), void();
      user(*form);
    });
    return dialog.Execute(conditions);
  }

 private slots:
  void dialogControlsAndStartValues() {
    const TLogConditions start(kNow);
    TLogDownForm form(nullptr, start, japanese);
    QCOMPARE(form.windowTitle(), J("条件指定"));
    QCOMPARE(form.TimeRadioButton->text(), J("過去"));
    QCOMPARE(form.DateRadioButton->text(), QString());
    QCOMPARE(form.FromRadioButton->text(), QString());
    QCOMPARE(form.FromLabel1->text(), J("から"));
    QCOMPARE(form.ToLabel->text(), J("まで"));
    QCOMPARE(form.FromLabel2->text(), J("から"));
    QCOMPARE(form.OKButton->text(), J("&OK"));
    QVERIFY(form.OKButton->isDefault());
    QCOMPARE(form.CancelButton->text(), J("キャンセル(&C)"));
    QVERIFY(form.TimeRadioButton->isChecked());
    QCOMPARE(form.TimeSpinEdit->minimum(), 1);
    QCOMPARE(form.TimeSpinEdit->maximum(), 5000);
    QCOMPARE(form.TimeSpinEdit->value(), 1);
    QStringList units;
    for (int i = 0; i < form.UnitComboBox->count(); ++i) units << form.UnitComboBox->itemText(i);
    QCOMPARE(units, (QStringList{J("時間"), J("日"), J("分")}));
    QCOMPARE(form.UnitComboBox->currentIndex(), 0);
    for (QDateEdit* picker : {form.DateTimePicker1, form.DateTimePicker2, form.DateTimePicker3}) {
      QCOMPARE(picker->date(), QDate(2004, 7, 15));
      QCOMPARE(picker->displayFormat(), QString("yyyy/MM/dd"));
      QCOMPARE(picker->text(), QString("2004/07/15"));
      QVERIFY(picker->calendarPopup());
    }
    QCOMPARE(form.DateTimePicker4->time(), QTime(12, 30, 45));
    QCOMPARE(form.DateTimePicker4->text(), QString("12:30"));
    // Every control inside the dialog, none on top of another.
    const std::vector<QWidget*> controls{form.TimeRadioButton, form.TimeSpinEdit, form.UnitComboBox,
                                         form.DateRadioButton, form.DateTimePicker1, form.FromLabel1,
                                         form.DateTimePicker2, form.ToLabel, form.FromRadioButton,
                                         form.DateTimePicker3, form.DateTimePicker4, form.FromLabel2,
                                         form.OKButton, form.CancelButton};
    for (std::size_t i = 0; i < controls.size(); ++i) {
      QVERIFY(form.rect().contains(controls[i]->geometry()));
      for (std::size_t j = i + 1; j < controls.size(); ++j) {
        QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                 qPrintable(QString("%1 and %2 overlap").arg(i).arg(j)));
      }
    }
    // Another locale, another picker format; a two-digit year shows four.
    const TQtDateFormats american{QLocale(QLocale::English, QLocale::UnitedStates)};
    TLogDownForm us(nullptr, start, american);
    QCOMPARE(us.DateTimePicker1->text(), QString("7/15/2004"));
  }

  void editingAControlSelectsItsRadioButton() {
    TLogDownForm form(nullptr, TLogConditions(kNow), japanese);
    form.DateTimePicker2->setDate(QDate(2004, 7, 20));
    QVERIFY(form.DateRadioButton->isChecked());
    QCOMPARE(form.Conditions().Mode(), TLogMode::Range);
    form.DateTimePicker4->setTime(QTime(9, 0));
    QVERIFY(form.FromRadioButton->isChecked());
    form.UnitComboBox->setCurrentIndex(2);
    QVERIFY(form.TimeRadioButton->isChecked());
    form.DateTimePicker3->setDate(QDate(2004, 7, 1));
    QVERIFY(form.FromRadioButton->isChecked());
    form.TimeSpinEdit->setValue(7);
    QVERIFY(form.TimeRadioButton->isChecked());
    form.DateTimePicker1->setDate(QDate(2004, 7, 2));
    QVERIFY(form.DateRadioButton->isChecked());
    // A click on a radio button selects its mode and changes no value.
    QTest::mouseClick(form.TimeRadioButton, Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(form.Conditions().Mode(), TLogMode::Period);
    QCOMPARE(form.Conditions().LowerDate(), (TCivilDate{2004, 7, 2}));
    QCOMPARE(form.Conditions().Count(), 7);
    // The spin field clamps what is typed into it.
    form.TimeSpinEdit->setValue(9000);
    QCOMPARE(form.Conditions().Count(), 5000);
    // Emptying the count is an edit of it too, by key or at once.
    for (const bool byKey : {true, false}) {
      form.TimeSpinEdit->setValue(byKey ? 3 : 4);
      form.DateTimePicker1->setDate(QDate(2004, 7, byKey ? 3 : 4));
      QVERIFY(form.DateRadioButton->isChecked());
      auto* editor = form.TimeSpinEdit->findChild<QLineEdit*>();
      if (byKey) {
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
      } else {
        editor->clear();
      }
      QVERIFY2(form.TimeRadioButton->isChecked(), byKey ? "by key" : "at once");
      QCOMPARE(form.Conditions().Mode(), TLogMode::Period);
    }
  }

  void theThreeModesThroughTheDialog() {
    const std::string address = "http://voyla.test";
    struct Case {
      const char* name;
      std::function<void(TLogDownForm&)> user;
      std::string query;
    };
    const std::vector<Case> cases = {
        {"start values", [](TLogDownForm& f) { QTest::mouseClick(f.OKButton, Qt::LeftButton); }, "recent=60"},
        {"3 hours",
         [](TLogDownForm& f) {
           f.TimeSpinEdit->setValue(3);
           QTest::mouseClick(f.OKButton, Qt::LeftButton);
         },
         "recent=180"},
        {"2 days typed",
         [](TLogDownForm& f) {
           f.TimeSpinEdit->findChild<QLineEdit*>()->selectAll();
           QTest::keyClicks(f.TimeSpinEdit, "2");
           f.UnitComboBox->setCurrentIndex(1);
           QTest::keyClick(f.OKButton, Qt::Key_Return);
           if (f.isVisible()) f.OKButton->click();
         },
         "recent=2880"},
        {"a count cleared counts as 1",
         [](TLogDownForm& f) {
           f.UnitComboBox->setCurrentIndex(2);
           f.TimeSpinEdit->setValue(50);
           f.TimeSpinEdit->findChild<QLineEdit*>()->clear();
           f.OKButton->click();
         },
         "recent=1"},
        {"range",
         [](TLogDownForm& f) {
           f.DateTimePicker1->setDate(QDate(2004, 7, 1));
           f.DateTimePicker2->setDate(QDate(2004, 7, 15));
           f.OKButton->click();
         },
         "year_lo=2004&month_lo=7&day_lo=1&year_hi=2004&month_hi=7&day_hi=15"},
        {"since 90 min 30 s ago",
         [](TLogDownForm& f) {
           f.DateTimePicker4->setTime(QTime(11, 0, 15));
           f.OKButton->click();
         },
         "recent=90"},
        {"since 2 d 3 h 5 min ago",
         [](TLogDownForm& f) {
           f.DateTimePicker3->setDate(QDate(2004, 7, 13));
           f.DateTimePicker4->setTime(QTime(9, 25, 45));
           f.OKButton->click();
         },
         "recent=3065"},
    };
    for (const Case& c : cases) {
      TLogConditions conditions(kNow);
      QVERIFY2(RunDialog(conditions, c.user), c.name);
      QCOMPARE(QString::fromStdString(conditions.RequestUrl(address, kNow)),
               QString::fromStdString(address + "/fetchlog.cgi?" + c.query));
    }
    TLogConditions cancelled(kNow);
    QVERIFY(!RunDialog(cancelled, [](TLogDownForm& f) {
      f.TimeSpinEdit->setValue(9);
      QTest::mouseClick(f.CancelButton, Qt::LeftButton);
    }));
    QCOMPARE(cancelled.Count(), 1);
  }

  void userDateFormats() {
    const TQtDateFormats swedish{QLocale(QLocale::Swedish, QLocale::Sweden)};
    const TQtDateFormats american{QLocale(QLocale::English, QLocale::UnitedStates)};
    const TQtDateFormats german{QLocale(QLocale::German, QLocale::Germany)};
    const int century = QDate::currentDate().year() / 100 * 100;
    struct Case {
      const TQtDateFormats* formats;
      std::string text;
      std::optional<TLocalTime> expected;  // for ReadShortDateTime; its date for ReadShortDate
      bool dateOnly;
    };
    const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
      return std::optional<TLocalTime>(TLocalTime{{y, mo, d}, {h, mi, s}});
    };
    const std::vector<Case> cases = {
        {&japanese, "2004/07/01", at(2004, 7, 1), true},
        {&japanese, "2004/7/1", at(2004, 7, 1), true},
        {&japanese, " 2004/07/01 ", at(2004, 7, 1), true},
        {&japanese, "2004-07-01", std::nullopt, true},
        {&japanese, "2004/02/30", std::nullopt, true},
        {&japanese, "2004/07/01 12:30", at(2004, 7, 1, 12, 30), false},
        {&japanese, "2004/07/01   9:05:07", at(2004, 7, 1, 9, 5, 7), false},
        {&japanese, "2004/07/01", at(2004, 7, 1), false},
        {&japanese, "2004/07/01 25:00", std::nullopt, false},
        {&japanese, "12:30", std::nullopt, false},
        {&swedish, "2004-07-01", at(2004, 7, 1), true},
        {&swedish, "2004/07/01", std::nullopt, true},
        {&swedish, "2004-07-01 08:15", at(2004, 7, 1, 8, 15), false},
        {&american, "7/1/04", at(century + 4, 7, 1), true},
        {&american, "7/1/2004", at(2004, 7, 1), true},
        {&american, "7/1/2004 1:05 PM", at(2004, 7, 1, 13, 5), false},
        {&american, "7/1/2004 13:05", at(2004, 7, 1, 13, 5), false},
        {&german, "1.7.2004", at(2004, 7, 1), true},
        {&german, "01.07.04 09:30", at(century + 4, 7, 1, 9, 30), false},
    };
    for (const Case& c : cases) {
      if (c.dateOnly) {
        const std::optional<TCivilDate> got = c.formats->ReadShortDate(c.text);
        QVERIFY2(got.has_value() == c.expected.has_value(), c.text.c_str());
        if (got) QVERIFY2(*got == c.expected->Date, c.text.c_str());
      } else {
        const std::optional<TLocalTime> got = c.formats->ReadShortDateTime(c.text);
        QVERIFY2(got == c.expected, c.text.c_str());
      }
    }
    QCOMPARE(american.DatePickerFormat(), QString("M/d/yyyy"));
    QCOMPARE(swedish.DatePickerFormat(), QString("yyyy-MM-dd"));
  }

  void progressWindowAbandonsOnItsButtonAndOnEscape() {
    QWidget owner;
    TFetchProgressForm progress(&owner);
    int abandoned = 0;
    progress.Show([&] { ++abandoned; });
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.windowModality(), Qt::WindowModal);
    progress.ShowBytes(1234567);
    QVERIFY(progress.StatusLabel->text().startsWith(J("ログを受信しています: ")));
    QVERIFY(progress.StatusLabel->text().endsWith(J(" バイト")));
    QVERIFY(progress.StatusLabel->text().contains("234"));
    QTest::mouseClick(progress.AbandonButton, Qt::LeftButton);
    QCOMPARE(abandoned, 1);
    // The window stays until the fetch it shows has ended.
    QVERIFY(progress.isVisible());
    QVERIFY(!progress.AbandonButton->isEnabled());
    QTest::keyClick(&progress, Qt::Key_Escape);
    QCOMPARE(abandoned, 2);
    progress.Close();
    QVERIFY(!progress.isVisible());
  }

  // The whole road in the window: fetch through the menu and the real
  // dialog, vote and agree on links clicked in the real view, see the
  // status text, and the counts risen on the next fetch.
  void fetchVoteAndSeeTheCountRise() {
    TempDir dir;
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      fs::copy_file(SourceDir() + "/data/" + name, dir.file(name));
    }
    WriteFileBytes(dir.file("Hollowmere.ini"), "[General]\r\nSppDir=" + dir.path() + "\r\nLUID=tester\r\n");
    WriteFileBytes(dir.file("service-log.txt"), MixedCaseLog());
    StandinProcess standin(dir.file("service-log.txt"));

    MainThreadBoxes boxes;
    FakeProgressWindows pluginWindows;
    TSppList plugins(true, pluginWindows, boxes);
    FakeShell shell;
    TQtSettingDialog settingDialog;
    TQtFontChooser fontChooser;
    FakeFileChooser files;
    TQtMainLoop loop;
    TQtLogDownDialog logDialog(japanese);
    TQtFetchProgressWindows progress;
    TSystemClock clock;
    TServiceParts service{logDialog, progress, clock, japanese, standin.HostPort(), {}};
    // A baseware folder of the test's own, so no ghost of another run is found.
    TFmoFiles fmo(dir.file("fmo"));
    TSocketWindows windows(loop, dir.file("fmo"));
    TMainForm form(dir.path(), plugins,
                   {boxes, shell, settingDialog, fontChooser, files, loop, {fmo, windows}, service});
    logDialog.SetOwner(&form);
    progress.SetOwner(&form);
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QSignalSpy loaded(form.MozillaBrowser, &QWebEngineView::loadFinished);
    const auto fetch = [&] {
      loaded.clear();
      WhenModalShows([](QWidget* w) {
        auto* dialog = dynamic_cast<TLogDownForm*>(w);
        if (dialog == nullptr) return w->close(), void();
        QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
      });
      form.LogShowMenu->trigger();
      QVERIFY(loaded.count() > 0 || loaded.wait(30000));
    };
    fetch();
    QVERIFY2(boxes.messages.empty(), boxes.messages.empty() ? "" : boxes.messages[0].c_str());
    QVERIFY(form.MozillaBrowser->url().toLocalFile().endsWith("/long0.html"));
    QVERIFY(ReadFileBytes(dir.file("long0.html")).find("http://vote.AbC1\"") != std::string::npos);

    // Links as the page writes them, one 40-pixel band each, clicked as a user would.
    WriteFileBytes(dir.file("long9.html"),
                   "<html><head><style>body{margin:0} a{display:block;height:40px}</style></head><body>\r\n"
                   "<a href=\"http://vote.AbC1\">v</a>\r\n<a href=\"http://agree.xYz9\">a</a>\r\n"
                   "<a href=\"http://vote.AbC1\">v</a>\r\n</body></html>\r\n");
    loaded.clear();
    form.Navigate("file://" + dir.path() + "long9.html");
    QVERIFY(loaded.count() > 0 || loaded.wait(30000));
    const auto click = [&](int band) {
      QTest::mouseClick(form.MozillaBrowser->focusProxy(), Qt::LeftButton, {}, QPoint(20, band * 40 + 20));
    };
    click(0);
    // The panel's own text: the pointer left on the link shows its address over it.
    QTRY_COMPARE_WITH_TIMEOUT(form.StatusPanel->Status(), J("投票しました:AbC1"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form.Controller().TransfersUnderWay(), std::size_t{0}, 10000);
    click(1);
    QTRY_COMPARE_WITH_TIMEOUT(form.StatusPanel->Status(), J("同意しました") + "xYz9", 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form.Controller().TransfersUnderWay(), std::size_t{0}, 10000);
    // The service took both MIDs as written: no box so far.
    QCOMPARE(boxes.messages.size(), std::size_t{0});
    QCOMPARE(boxes.beeps, 2);
    // A second vote on the same message: the service's refusal arrives in a
    // box on the main thread, from the worker through Qt's loop.
    click(2);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.messages.size(), std::size_t{1}, 10000);
    QCOMPARE(boxes.messages[0].rfind(Sjis("SSTP Voylaサーバが次のエラーを返しました:\r\n"), 0), std::size_t{0});
    QCOMPARE(boxes.beeps, 4);
    QVERIFY(!boxes.offMainThread);

    fetch();
    const std::string page = ReadFileBytes(dir.file("long0.html"));
    const std::size_t first = page.find("No.1<br>");
    const std::size_t second = page.find("No.2<br>");
    QVERIFY(first != std::string::npos && second != std::string::npos);
    QVERIFY(page.substr(first, second - first).find(Sjis("投票数:1/")) != std::string::npos);
    QVERIFY(page.substr(second).find(Sjis("同意数:1<br>")) != std::string::npos);
    const std::vector<std::string> lines = standin.Lines();
    QCOMPARE(std::count_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("POST /voyla2.cgi ", 0) == 0; }),
             3L);
    form.FormDestroy();
  }
};

}  // namespace

std::unique_ptr<QObject> MakeServiceWindowTests() { return std::make_unique<ServiceWindowTests>(); }

}  // namespace hollowmere::qt::testing

#include "ServiceWindowTests.moc"
