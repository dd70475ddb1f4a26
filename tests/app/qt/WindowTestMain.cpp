// Runs the window tests under Qt Test. Sets up what a display-less root run
// needs before the QApplication exists (offscreen platform, the engine's
// sandbox off), so the tests pass from a shell or CTest alike.
// Usage: test_window [TestClass] [Qt Test options]
#include <QApplication>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WindowTests.h"
#include "app/qt/QtEnvironment.h"
#include "app/qt/QtUi.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  hollowmere::qt::PrepareWebEngineEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName(hollowmere::qt::kApplicationTitle);
  hollowmere::qt::InstallJapaneseTexts(app);

  std::string only;
  std::vector<char*> args{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (only.empty() && argv[i][0] != '-' && i == 1) {
      only = argv[i];
    } else {
      args.push_back(argv[i]);
    }
  }
  int failed = 0;
  for (const auto& entry : hollowmere::qt::testing::WindowTestClasses()) {
    if (!only.empty() && only != entry.name) continue;
    std::unique_ptr<QObject> test = entry.make();
    failed += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
  }
  return failed == 0 ? 0 : 1;
}
