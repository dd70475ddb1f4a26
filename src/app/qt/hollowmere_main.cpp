// The program "hollowmere": the window on the program folder it sits in.
// Start: the plugin list first, then the window with its settings, plugin
// folder and patterns, then the window shown and the message loop; at the
// end the settings are saved before anything is torn down.
#include <QApplication>

#include "app/qt/MainForm.h"
#include "app/qt/QtEnvironment.h"
#include "app/qt/QtMainLoop.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "platform/DesktopShell.h"
#include "platform/ProgramFolder.h"
#include "surfaces/SppList.h"

int main(int argc, char** argv) {
  using namespace hollowmere;
  qt::PrepareWebEngineEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName(qt::kApplicationTitle);
  qt::InstallJapaneseTexts(app);

  qt::TQtMessageBoxes boxes;
  qt::TQtProgressWindows progressWindows;
  TSppList plugins(true, progressWindows, boxes);

  TDesktopShell shell;
  qt::TQtSettingDialog settingDialog;
  qt::TQtFontChooser fontChooser;
  qt::TQtFileChooser fileChooser;
  qt::TQtMainLoop loop;
  // Without its folder the program has nowhere to keep anything.
  std::string folder;
  try {
    folder = ProgramFolder();
  } catch (const std::exception& e) {
    boxes.ShowMessage(e.what());
    return 1;
  }
  qt::TMainForm form(folder, plugins,
                     {boxes, shell, settingDialog, fontChooser, fileChooser, loop});
  boxes.SetOwner(&form);
  progressWindows.SetOwner(&form);
  settingDialog.SetOwner(&form);
  fontChooser.SetOwner(&form);
  fileChooser.SetOwner(&form);

  form.FormCreate();
  form.show();
  // With command-line arguments, the command line runs here, the window visible.
  const int result = QApplication::exec();
  form.FormDestroy();
  return result;
}
