// The program "hollowmere": the window on the program folder it sits in.
// Start: the plugin list first, then the window with its settings, plugin
// folder and patterns, then the window shown, the command line (when there
// are arguments) and the message loop; at the end the settings are saved
// before anything is torn down.
//
// Without a display the program is a batch tool: it draws offscreen, every
// message box goes to standard error, and it ends once the command line has
// run, with status 0 (pages written), 1 (fetch failed, log not shown) or 2
// (bad command line, or no command line at all). A HOLLOWMERE_SERVICE that
// names no server ends the program at once, with status 2. A refused command
// line is explained on standard error, a run that ends without showing its
// pages says on standard output what it wrote, and "--help" prints the usage
// in the forms of the user's locale. No error ends the program unreported.
#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/ConsoleUi.h"
#include "app/qt/ArchiveSearchForm.h"
#include "app/qt/CommandLineForms.h"
#include "app/qt/FetchProgress.h"
#include "app/qt/LogDownForm.h"
#include "app/qt/MainForm.h"
#include "app/qt/QtDateFormats.h"
#include "app/qt/QtEnvironment.h"
#include "app/qt/QtMainLoop.h"
#include "app/qt/QtText.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "net/ServiceHost.h"
#include "platform/DesktopShell.h"
#include "platform/FmoFiles.h"
#include "platform/ProgramFolder.h"
#include "platform/SocketWindows.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace {

// Without a display, standard error is the program's voice: the toolkit's
// notes about drawing offscreen would bury its messages, so only its
// critical ones are kept.
void ToolkitCriticalOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << '\n';
}

hollowmere::TDateForms UserDateForms() {
  return hollowmere::qt::DateFormsOf(QLocale::system(), QDate::currentDate());
}

int Run(int argc, char** argv) {
  using namespace hollowmere;
  if (argc == 2 && AsksForHelp({argv[1]})) {
    std::cout << text::Cp932ToUtf8Lossy(CommandLineUsage(UserDateForms()));
    return 0;
  }
  const bool headless =
      IsHeadless(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"));
  if (headless) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qInstallMessageHandler(ToolkitCriticalOnly);
  }
  qt::PrepareWebEngineEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName(qt::kApplicationTitle);
  qt::InstallJapaneseTexts(app);

  // The arguments as the system gave them (UTF-8), in the program's CP932.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(qt::FromQ(QString::fromLocal8Bit(argv[i])));
  if (headless && args.empty()) {
    std::cerr << "hollowmere: no display (DISPLAY and WAYLAND_DISPLAY are unset), so nothing to show.\n"
                 "Give the four arguments to write pages without one, e.g.\n"
                 "  hollowmere past 1440 20 noview\n"
                 "(hollowmere --help shows the forms of dates and times it reads)\n";
    return 2;
  }

  qt::TQtMessageBoxes windowBoxes;
  TConsoleMessageBoxes consoleBoxes(std::cerr);
  IMessageBoxes& boxes = headless ? static_cast<IMessageBoxes&>(consoleBoxes) : windowBoxes;
  // A service named wrongly ends the program before anything is sent.
  std::string serviceHost;
  try {
    serviceHost = ServiceHost(std::getenv(kServiceVariable));
  } catch (const EServiceHostError& e) {
    boxes.ShowMessage(e.what());
    return 2;
  }
  qt::TQtProgressWindows progressWindows;
  TSppList plugins(true, progressWindows, boxes);

  TDesktopShell shell;
  qt::TQtSettingDialog settingDialog;
  qt::TQtFontChooser fontChooser;
  qt::TQtFileChooser windowFileChooser;
  TConsoleFileChooser consoleFileChooser(std::cerr);
  IFileChooser& fileChooser = headless ? static_cast<IFileChooser&>(consoleFileChooser) : windowFileChooser;
  qt::TQtMainLoop loop;
  // Without its folder the program has nowhere to keep anything.
  std::string folder;
  try {
    folder = ProgramFolder();
  } catch (const std::exception& e) {
    boxes.ShowMessage(e.what());
    return 1;
  }
  TFmoFiles fmo;
  TSocketWindows windows(loop);
  const qt::TQtDateFormats dateFormats;
  qt::TQtLogDownDialog logDownDialog(dateFormats);
  qt::TQtFetchProgressWindows fetchProgress;
  qt::TQtArchiveSearchDialog archiveSearch(dateFormats);
  const TSystemClock clock;
  TServiceParts service{logDownDialog, fetchProgress, clock, dateFormats, serviceHost, THttpLimits{}, headless};
  qt::TMainForm form(folder, plugins,
                     {boxes, shell, settingDialog, fontChooser, fileChooser, loop, {fmo, windows}, service,
                      headless ? nullptr : &archiveSearch});
  windowBoxes.SetOwner(&form);
  if (headless) form.SetProblemBoxes(&consoleBoxes);
  progressWindows.SetOwner(&form);
  settingDialog.SetOwner(&form);
  fontChooser.SetOwner(&form);
  windowFileChooser.SetOwner(&form);
  logDownDialog.SetOwner(&form);
  fetchProgress.SetOwner(&form);
  archiveSearch.SetOwner(&form);

  // A link the desktop has no program for would otherwise do nothing at all.
  shell.SetOnFailure([&loop, &form](const std::string& url) {
    loop.Post([&form, url] { form.SetStatusText(text::Sjis("リンクを開くアプリケーションがありません: ") + url); });
  });

  form.FormCreate();
  form.show();
  // An error no handler caught is reported like any other, and the program
  // still ends normally, its settings saved.
  const int status = StatusReportingErrors(boxes, [&] {
    int status = 0;
    if (!args.empty()) {
      const TCommandLineRun run = form.Controller().ProcessCommandLine(args);
      status = ExitStatus(run.Result);
      if (run.Refusal && headless) {
        std::cerr << "hollowmere: " << text::Cp932ToUtf8Lossy(RefusalText(args, *run.Refusal, UserDateForms()))
                  << '\n';
      }
      if (run.Result == TCommandLineResult::PagesWritten && (run.NoView || headless)) {
        std::cout << text::Cp932ToUtf8Lossy(PagesWrittenText(run.Messages, run.MessagesPerPage, run.FirstPage))
                  << '\n';
      }
    }
    // "noview" has closed the window; without a display nobody could use it.
    if (!headless && form.isVisible()) status = QApplication::exec();
    return status;
  });
  form.FormDestroy();
  // The window and the loop go first; no late report may reach them.
  shell.SetOnFailure(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  hollowmere::TConsoleMessageBoxes stderrBoxes(std::cerr);
  return hollowmere::StatusReportingErrors(stderrBoxes, [&] { return Run(argc, argv); });
}
