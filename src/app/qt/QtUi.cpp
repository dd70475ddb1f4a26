// Message boxes, status window and choosers in Qt.
#include "app/qt/QtUi.h"

#include "app/qt/DialogFit.h"
#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTranslator>

#include "app/qt/QtText.h"
#include "app/qt/ScreenArea.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"
#include "text/Visible.h"

namespace hollowmere::qt {
namespace {

QFont WindowFont() {
  QFont font(ToQ(text::Sjis("ＭＳ Ｐゴシック")));
  font.setPixelSize(12);
  return font;
}

// A box's text may carry a server's or a ghost's words: shown as plain
// text with its control bytes visible, never read as markup (a label takes
// "<img src=...>" for a picture unless told otherwise).
void SetPlainText(QMessageBox& box, const std::string& cp932) {
  box.setTextFormat(Qt::PlainText);
  box.setText(ToQ(text::VisibleControls(cp932, text::LineBreaks::Keep)));
}

}  // namespace

void InstallJapaneseTexts(QApplication& app) {
  auto* translator = new QTranslator(&app);
  if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(translator);
  } else {
    delete translator;
  }
}

void SetUpDialog(QWidget& dialog, const QString& title, QSize size) {
  dialog.setWindowTitle(title);
  dialog.setFont(WindowFont());
  dialog.setFixedSize(size);
  dialog.setStyleSheet("QPushButton { padding: 0px 2px; }");
}

void TQtMessageBoxes::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, QString(), QMessageBox::Ok, Owner());
  SetPlainText(box, text);
  box.exec();
}

bool TQtMessageBoxes::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, QString(), QMessageBox::Yes | QMessageBox::No,
                  Owner());
  SetPlainText(box, text);
  return box.exec() == QMessageBox::Yes;
}

void TQtMessageBoxes::Beep() { QApplication::beep(); }

TfrmProgressWindow::TfrmProgressWindow(QWidget* centreOn)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      centreOn_(centreOn) {
  setWindowTitle("Plugin Load Status");
  setFont(WindowFont());
  setFixedSize(334, 47);
  lblContent = new QLabel(ToQ(text::Sjis("プラグイン%sを読み込み中")), this);
  // It names plugin files, which anyone may have named.
  lblContent->setTextFormat(Qt::PlainText);
  // 12 pixels of label would cut the descenders of a 12-pixel font here.
  lblContent->setGeometry(8, 16, 321, 15);
  FitDialogToTexts(*this);
}

void TfrmProgressWindow::Show() {
  // Computed wide and kept on the screen, wherever the main window is.
  move(CentredPosition(centreOn_, size()));
  show();
  raise();
  // No message loop runs while plugins load: paint now.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  repaint();
}

void TfrmProgressWindow::ShowStatus(const std::string& text) {
  const QString shown = ToQ(text::VisibleControls(text, text::LineBreaks::Show));
  if (lblContent->text() == shown) return;
  lblContent->setText(shown);
  lblContent->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmProgressWindow::Close() { close(); }

std::unique_ptr<IProgressWindow> TQtProgressWindows::Create() {
  return std::make_unique<TfrmProgressWindow>(Owner());
}

std::optional<TFontChoice> TQtFontChooser::Choose(const TFontChoice& initial) {
  QFont font(ToQ(initial.Face));
  font.setPixelSize(initial.PixelSize);
  font.setBold(initial.Bold);
  font.setItalic(initial.Italic);
  QFontDialog dialog(font, Owner());
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QFont chosen = dialog.selectedFont();
  TFontChoice result;
  result.Face = FromQ(chosen.family());
  result.PixelSize = chosen.pixelSize() > 0 ? chosen.pixelSize()
                                            : static_cast<int32_t>(chosen.pointSizeF() * 4 / 3);
  result.Bold = chosen.bold();
  result.Italic = chosen.italic();
  return result;
}

std::optional<std::string> TQtFileChooser::ChooseFile(const std::string& filter,
                                                      const std::string& startFolder) {
  QFileDialog dialog(Owner());
  if (!startFolder.empty()) dialog.setDirectory(QString::fromStdString(NativePath(startFolder)));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(ToQ(filter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ProgramPath(dialog.selectedFiles().front().toStdString());
}

}  // namespace hollowmere::qt
