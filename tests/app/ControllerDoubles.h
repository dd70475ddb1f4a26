// Every double a main window's controller is built on, over a scratch
// program folder that holds the shipped pattern files. A fixture inherits
// it and declares its controller after it, so the doubles outlive it.
#pragma once

#include <filesystem>
#include <string>

#include "app/FakeWindow.h"
#include "app/MainController.h"
#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"

namespace hollowmere::testing {

struct ControllerDoubles {
  explicit ControllerDoubles(TLocalTime now) : clock(now) {
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      std::filesystem::copy_file(SourceDir() + "/data/" + name, dir.file(name));
    }
  }
  TMainController::Parts Parts(IArchiveSearchDialog* search = nullptr) {
    return {window, view, boxes, shell, dialog, fonts, files, loop, baseware.Parts(), service, search};
  }

  TempDir dir;
  FakeMessageBoxes boxes;
  FakeProgressWindows progress;
  TSppList plugins{true, progress, boxes};
  FakeMainWindow window;
  FakeHtmlView view;
  FakeShell shell;
  FakeSettingDialog dialog;
  FakeFontChooser fonts;
  FakeFileChooser files;
  TPollMainLoop loop;
  FakeBaseware baseware{loop};
  FakeLogDownDialog logDialog;
  FakeFetchProgressWindows fetchProgress;
  FixedClock clock;
  FixedDateFormats dateFormats;
  TServiceParts service{logDialog, fetchProgress, clock, dateFormats, "127.0.0.1:1", {}};
};

}  // namespace hollowmere::testing
