// Window parts that do nothing, for benchmarks that render without a window.
#pragma once

#include <memory>
#include <string>

#include "platform/Ui.h"

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
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  void Beep() override {}
};

class NoView : public IHtmlView {
 public:
  void Navigate(const std::string&) override {}
};

}  // namespace hollowmere::bench
