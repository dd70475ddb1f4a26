// The program without a display: message boxes become lines on standard
// error and nothing waits for a click; a chooser chooses nothing. Also the
// test of whether a display is there at all.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/WindowUi.h"
#include "platform/Ui.h"

namespace hollowmere {

// True when no window can be shown to anyone: neither DISPLAY nor
// WAYLAND_DISPLAY is set (empty counts as unset), or Qt is told to draw
// offscreen or on the minimal platform. Arguments: the variables' values or null.
bool IsHeadless(const char* display, const char* waylandDisplay, const char* qpaPlatform);

class TConsoleMessageBoxes : public IMessageBoxes {
 public:
  // `program`: the name each message starts with.
  explicit TConsoleMessageBoxes(std::ostream& out, std::string program = "Hollowmere")
      : out_(out), program_(std::move(program)) {}
  // The program's name, ": " and the text in UTF-8, every line of it
  // indented after the first and its control bytes made visible.
  void ShowMessage(const std::string& text) override;
  // Written like a message, answered No.
  bool AskYesNo(const std::string& text) override;
  void Beep() override {}

 private:
  std::ostream& out_;
  std::string program_;
};

class TConsoleFileChooser : public IFileChooser {
 public:
  explicit TConsoleFileChooser(std::ostream& out) : out_(out) {}
  std::optional<std::string> ChooseFile(const std::string& filter, const std::string& startFolder) override;

 private:
  std::ostream& out_;
};

}  // namespace hollowmere
