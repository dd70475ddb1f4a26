// The window test classes, by name, for WindowTestMain, plus helpers they share.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hollowmere::qt::testing {

struct WindowTestClass {
  const char* name;
  std::function<std::unique_ptr<QObject>()> make;
};

const std::vector<WindowTestClass>& WindowTestClasses();

// Runs `action` once the next modal dialog is up (it must be, within a few
// seconds), so a test can answer it as a user would.
void WhenModalShows(std::function<void(QWidget* dialog)> action);

}  // namespace hollowmere::qt::testing

namespace hollowmere::qt::testing {

std::unique_ptr<QObject> MakeDialogTests();
std::unique_ptr<QObject> MakeMainFormTests();
std::unique_ptr<QObject> MakeServiceWindowTests();
std::unique_ptr<QObject> MakeBatchTests();
std::unique_ptr<QObject> MakeDialogFitTests();
std::unique_ptr<QObject> MakeViewPartsTests();

}  // namespace hollowmere::qt::testing
