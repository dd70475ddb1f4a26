// The window's dialogs as a user meets them: the settings dialog's layout,
// tab order and OK rule, the message boxes' captions and buttons, the
// plugin status window, the font chooser and the plugin file chooser.
// Modal dialogs are answered from a timer; every answer closes the dialog
// first and the checks run after it has returned.
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "WindowTests.h"
#include "app/MainController.h"
#include "app/qt/QtText.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere::qt::testing {
namespace {

class DialogTests : public QObject {
  Q_OBJECT

 private slots:
  void settingFormLayout() {
    TSettingForm form(nullptr, SettingDialogAcceptsOk);
    QCOMPARE(form.windowTitle(), J("設定"));
    // The design's size, grown only as far as the fonts need (DialogFitTests).
    QVERIFY(form.width() >= 348 && form.height() >= 262);
    QVERIFY(form.width() <= 348 + 60 && form.height() <= 262 + 20);
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags() & Qt::Tool);
    QCOMPARE(form.LUIDLabel->text(), J("LUID(&L)"));
    QCOMPARE(form.PageLabel->text(), J("１ページに表示するメッセージ数(&P)"));
    QCOMPARE(form.FMOLabel->text(), J("参照FMO名"));
    QCOMPARE(form.OKButton->text(), J("&OK"));
    QCOMPARE(form.CancelButton->text(), J("キャンセル(&C)"));
    QCOMPARE(form.PlayCheck->text(), J("再生機能を使う(L)"));
    // Each control at its design place and size, or moved and grown by the
    // few pixels its own text or one above or before it needed.
    const auto near = [](QWidget* w, QRect design) {
      const QRect g = w->geometry();
      return g.x() >= design.x() && g.x() <= design.x() + 40 && g.y() >= design.y() &&
             g.y() <= design.y() + 12 && g.width() >= design.width() && g.width() <= design.width() + 40 &&
             g.height() >= design.height() && g.height() <= design.height() + 6;
    };
    QVERIFY(near(form.LUIDEdit, QRect(8, 16, 337, 20)));
    QVERIFY(near(form.PageEdit, QRect(8, 56, 121, 20)));
    QVERIFY(near(form.FMOLabel, QRect(QPoint(8, 80), form.FMOLabel->size())));
    QVERIFY(near(form.FMOMemo, QRect(8, 96, 337, 113)));
    QVERIFY(near(form.OKButton, QRect(192, 232, 75, 25)));
    QVERIFY(near(form.CancelButton, QRect(272, 232, 75, 25)));
    QVERIFY(near(form.PlayCheck, QRect(8, 216, 121, 17)));
    QVERIFY(form.OKButton->geometry().right() < form.CancelButton->x());
    QCOMPARE(form.LUIDLabel->buddy(), form.LUIDEdit);
    QCOMPARE(form.PageLabel->buddy(), form.PageEdit);

    const std::vector<QWidget*> expected{form.LUIDEdit, form.PageEdit, form.FMOMemo,
                                         form.OKButton, form.CancelButton, form.PlayCheck};
    std::vector<QWidget*> chain;
    QWidget* w = form.LUIDEdit;
    do {
      if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
      w = w->nextInFocusChain();
    } while (w != form.LUIDEdit && chain.size() < 10);
    QVERIFY(chain == expected);
    QVERIFY(form.FMOMemo->tabChangesFocus());
  }

  void settingFormCarriesTheFourValues() {
    TSettingForm form(nullptr, SettingDialogAcceptsOk);
    TSettingDialogValues in{text::Sjis("ルイド"), "100", "Sakura\r\nSakuraUnicode\r\n", true};
    form.SetValues(in);
    QCOMPARE(form.FMOMemo->toPlainText(), J("Sakura\nSakuraUnicode\n"));
    const TSettingDialogValues out = form.Values();
    QCOMPARE(out.Luid, in.Luid);
    QCOMPARE(out.PageCount, in.PageCount);
    QCOMPARE(out.FmoText, in.FmoText);
    QCOMPARE(out.PlayEnabled, true);
  }

  void okNeedsAnIntegerPageCount() {
    TQtSettingDialog dialog;
    TSettingDialogValues values{"L", "100", "Sakura\r\n", false};
    bool stayedOpenOnAbc = false;
    WhenModalShows([&](QWidget* w) {
      auto* form = dynamic_cast<TSettingForm*>(w);
      if (form == nullptr) return w->close(), void();
      form->LUIDEdit->setText("changed");
      form->PageEdit->setText("abc");
      QTest::mouseClick(form->OKButton, Qt::LeftButton);
      stayedOpenOnAbc = form->isVisible();
      form->PageEdit->setText("42");
      QTest::mouseClick(form->OKButton, Qt::LeftButton);
      if (form->isVisible()) form->reject();
    });
    QVERIFY(dialog.Execute(values, SettingDialogAcceptsOk));
    QVERIFY(stayedOpenOnAbc);
    QCOMPARE(values.PageCount, std::string("42"));
    QCOMPARE(values.Luid, std::string("changed"));

    WhenModalShows([&](QWidget* w) {
      if (auto* form = dynamic_cast<TSettingForm*>(w)) form->PageEdit->setText("7");
      if (auto* form = dynamic_cast<TSettingForm*>(w)) QTest::mouseClick(form->CancelButton, Qt::LeftButton);
      if (w->isVisible()) w->close();
    });
    QVERIFY(!dialog.Execute(values, SettingDialogAcceptsOk));
    QCOMPARE(values.PageCount, std::string("42"));
  }

  void messageBoxesCarryTheTitleAndJapaneseButtons() {
    TQtMessageBoxes boxes;
    QString title, text, yes, no;
    QMessageBox::Icon icon = QMessageBox::Warning;
    WhenModalShows([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr) return w->close(), void();
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      if (QAbstractButton* b = box->button(QMessageBox::Yes)) yes = b->text();
      if (QAbstractButton* b = box->button(QMessageBox::No)) no = b->text();
      QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QVERIFY(boxes.AskYesNo(text::Sjis("Hollowmere Version 1.0.1.10\r\n配布元サイトを開きますか？")));
    QCOMPARE(title, QString("Hollowmere"));
    QCOMPARE(text, J("Hollowmere Version 1.0.1.10\r\n配布元サイトを開きますか？"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QVERIFY2(yes.contains(J("はい")), qPrintable(yes));
    QVERIFY2(no.contains(J("いいえ")), qPrintable(no));

    WhenModalShows([&](QWidget* w) {
      if (auto* box = qobject_cast<QMessageBox*>(w)) QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
      if (w->isVisible()) w->close();
    });
    QVERIFY(!boxes.AskYesNo("?"));

    QStringList buttons;
    WhenModalShows([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr) return w->close(), void();
      title = box->windowTitle();
      text = box->text();
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      box->accept();
    });
    boxes.ShowMessage(text::Sjis("プラグインディレクトリを設定して下さい"));
    QCOMPARE(title, QString("Hollowmere"));
    QCOMPARE(text, J("プラグインディレクトリを設定して下さい"));
    QCOMPARE(buttons.size(), 1);

    // A server's words: plain text, never markup, control bytes shown and
    // line breaks kept.
    Qt::TextFormat format = Qt::AutoText;
    WhenModalShows([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr) return w->close(), void();
      text = box->text();
      format = box->textFormat();
      box->accept();
    });
    boxes.ShowMessage("<b>HTTP/1.1 500</b> \x1b[2J\r\n" + text::Sjis("次の行"));
    QCOMPARE(text, "<b>HTTP/1.1 500</b> ^[[2J\r\n" + J("次の行"));
    QCOMPARE(format, Qt::PlainText);
  }

  void progressWindowIsBorderlessOnTopAndShowsEachName() {
    QWidget owner;
    owner.setGeometry(100, 100, 600, 400);
    TfrmProgressWindow window(&owner);
    window.Show();
    QVERIFY(window.isVisible());
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window.size(), QSize(334, 47));
    QCOMPARE(window.frameGeometry().center(), owner.frameGeometry().center());
    window.ShowStatus(text::Sjis("プラグインsample.soを読み込み中..."));
    QCOMPARE(window.lblContent->text(), J("プラグインsample.soを読み込み中..."));
    window.Close();
    QVERIFY(!window.isVisible());
  }

  void fontChooserOpensOnTheGivenFontAndReportsTheChoice() {
    TQtFontChooser chooser;
    QString openedOn;
    QFont picked;
    auto answer = [&](QWidget* w) {
      auto* dialog = qobject_cast<QFontDialog*>(w);
      if (dialog == nullptr) return w->close(), void();
      openedOn = dialog->currentFont().family();
      QFont font(J("IPAGothic"));
      font.setPixelSize(20);
      font.setBold(true);
      dialog->setCurrentFont(font);
      picked = dialog->currentFont();
      dialog->accept();
    };
    TFontChoice initial{text::Sjis("ＭＳ 明朝"), 12, false, false};
    WhenModalShows(answer);
    const auto first = chooser.Choose(initial);
    QVERIFY(first.has_value());
    QCOMPARE(first->Face, FromQ(picked.family()));
    QCOMPARE(first->Bold, picked.bold());
    const QString firstOpenedOn = openedOn;
    WhenModalShows(answer);
    QVERIFY(chooser.Choose(initial).has_value());
    QCOMPARE(openedOn, firstOpenedOn);

    WhenModalShows([](QWidget* w) {
      if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    });
    QVERIFY(!chooser.Choose(initial).has_value());
  }

  void fileChooserNamesThePluginFiles() {
    hollowmere::testing::TempDir dir;
    std::filesystem::create_directory(dir.file("プラグイン"));
    const std::string plugin = dir.file("プラグイン/sample.so");
    std::ofstream(plugin) << "x";
    TQtFileChooser chooser;
    QStringList filters;
    QString openedOn;
    WhenModalShows([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      if (dialog == nullptr) return w->close(), void();
      filters = dialog->nameFilters();
      openedOn = dialog->directory().absolutePath();
      dialog->selectFile(QString::fromStdString(plugin));
      static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = chooser.ChooseFile(text::Sjis("サーフィスプレビュープラグイン (*.so)"),
                                           text::Utf8ToCp932(dir.file("プラグイン/")));
    QCOMPARE(filters, QStringList{J("サーフィスプレビュープラグイン (*.so)")});
    QCOMPARE(openedOn + "/", QString::fromStdString(dir.file("プラグイン/")));
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, text::Utf8ToCp932(plugin));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeDialogTests() { return std::make_unique<DialogTests>(); }

}  // namespace hollowmere::qt::testing

#include "DialogTests.moc"
