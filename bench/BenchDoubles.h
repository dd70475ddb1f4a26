// Toolkit doubles for benchmarks: no plugin status window, no view, and
// message boxes that only say on standard error what they would have shown.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/Ui.h"
#include "text/Encoding.h"

namespace hollowmere::bench {

class NoWindows : public IProgressWindowFactory {
  class Window : public IProgressWindow {
    void Show() override {}
    void ShowStatus(const std::string&) override {}
    void Close() override {}
  };

 public:
  std::unique_ptr<IProgressWindow> Create() override { return std::make_unique<Window>(); }
};

class NoBoxes : public IMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "box: %s\n", text::Cp932ToUtf8Lossy(text).c_str());
  }
  bool AskYesNo(const std::string&) override { return false; }
  void Beep() override {}
};

class NoView : public IHtmlView {
 public:
  void Navigate(const std::string&) override {}
};

}  // namespace hollowmere::bench
