// Qt implementations of the toolkit interfaces the core uses: message boxes,
// the plugin status window, the font chooser and the plugin file chooser.
// Each is modal where the interface says so and carries "Hollowmere" or the
// toolkit's own Japanese texts.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/WindowUi.h"
#include "platform/Ui.h"

class QApplication;

namespace hollowmere::qt {

// The application title, caption of the window and of every message box.
inline const char* const kApplicationTitle = "Hollowmere";

// Loads the toolkit's Japanese texts (buttons, standard dialogs).
void InstallJapaneseTexts(QApplication& app);

// The program's own fixed-size dialogs: title, the window font
// ("ＭＳ Ｐゴシック", 12 pixels) and buttons without the style's padding, which
// would cut their captions at their design widths.
void SetUpDialog(QWidget& dialog, const QString& title, QSize size);

// The window that owns modal boxes and centres the status window; may be
// set after the object is made, since the plugin list exists before the window.
class TOwnedByWindow {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  QWidget* Owner() const { return owner_; }

 private:
  QPointer<QWidget> owner_;
};

class TQtMessageBoxes : public IMessageBoxes, public TOwnedByWindow {
 public:
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void Beep() override;
};

// The borderless status window shown while plugins load. It repaints at
// once on every change, since no message loop runs while plugins load.
class TfrmProgressWindow : public QWidget, public IProgressWindow {
 public:
  explicit TfrmProgressWindow(QWidget* centreOn);
  void Show() override;
  void ShowStatus(const std::string& text) override;
  void Close() override;
  QLabel* lblContent;

 private:
  QPointer<QWidget> centreOn_;
};

class TQtProgressWindows : public IProgressWindowFactory, public TOwnedByWindow {
 public:
  std::unique_ptr<IProgressWindow> Create() override;
};

class TQtFontChooser : public IFontChooser, public TOwnedByWindow {
 public:
  std::optional<TFontChoice> Choose(const TFontChoice& initial) override;
};

class TQtFileChooser : public IFileChooser, public TOwnedByWindow {
 public:
  std::optional<std::string> ChooseFile(const std::string& filter,
                                        const std::string& startFolder) override;
};

}  // namespace hollowmere::qt
