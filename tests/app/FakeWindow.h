// Doubles for the main window's toolkit parts (app/WindowUi.h): they record
// what the window logic asked and answer as the test's user would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/WindowUi.h"

namespace hollowmere::testing {

class FakeMainWindow : public IMainWindow {
 public:
  void SetBounds(const TFormBounds& b) override {
    bounds = b;
    ++boundsSet;
  }
  TFormBounds Bounds() const override { return bounds; }
  void SetStatusText(const std::string& text) override { status = text; }
  void SetBusyCursor(bool b) override { busy = b; }
  void ShowRenderingMode(bool e) override {
    emulationChecked = e;
    leftChecked = !e;
  }
  void RequestClose() override { ++closeRequests; }
  void ShowArchiveState(const std::string& text, bool problem) override {
    archiveState = text;
    archiveProblem = problem;
  }
  void ShowArchiveEnabled(bool enabled) override { archiveChecked = enabled; }
  void SetZoomPercent(int32_t percent) override { zoom = percent; }
  int32_t ZoomPercent() const override { return zoom; }

  TFormBounds bounds{0, 0, 0, 0};
  int boundsSet = 0;
  std::string status;
  bool busy = false;
  bool emulationChecked = false;
  bool leftChecked = false;
  int closeRequests = 0;
  std::string archiveState;
  bool archiveProblem = false;
  bool archiveChecked = false;
  int32_t zoom = 0;
};

// Plays a user who tries each step in turn: OK with the given values (the
// dialog stays open when OK is refused) or Cancel.
class FakeSettingDialog : public ISettingDialog {
 public:
  struct Step {
    TSettingDialogValues values;
    bool ok;
  };
  bool Execute(TSettingDialogValues& values,
               const std::function<bool(const TSettingDialogValues&)>& acceptOk) override {
    shown.push_back(values);
    for (const Step& step : steps) {
      if (!step.ok) return false;
      ++okPresses;
      if (acceptOk(step.values)) {
        values = step.values;
        return true;
      }
    }
    return false;
  }
  std::vector<Step> steps;
  std::vector<TSettingDialogValues> shown;
  int okPresses = 0;
};

class FakeFontChooser : public IFontChooser {
 public:
  std::optional<TFontChoice> Choose(const TFontChoice& initial) override {
    openedOn.push_back(initial);
    return answer;
  }
  std::optional<TFontChoice> answer;
  std::vector<TFontChoice> openedOn;
};

class FakeFileChooser : public IFileChooser {
 public:
  std::optional<std::string> ChooseFile(const std::string& filter,
                                        const std::string& startFolder) override {
    filters.push_back(filter);
    startFolders.push_back(startFolder);
    return answer;
  }
  std::optional<std::string> answer;
  std::vector<std::string> filters;
  std::vector<std::string> startFolders;
};

}  // namespace hollowmere::testing
