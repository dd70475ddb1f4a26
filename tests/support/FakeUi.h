// Test doubles for the toolkit interfaces of platform/Ui.h: they record what
// the core asked and answer with what the test set up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Ui.h"

namespace hollowmere::testing {

class FakeMessageBoxes : public IMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void Beep() override { ++beeps; }

  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answerYes = false;
  int beeps = 0;
};

class FakeHtmlView : public IHtmlView {
 public:
  void Navigate(const std::string& url) override { navigations.push_back(url); }
  std::vector<std::string> navigations;
};

// Records the whole life of every status window it makes, as lines such as
// "show", "status:<text>", "close".
class FakeProgressWindows : public IProgressWindowFactory {
 public:
  std::unique_ptr<IProgressWindow> Create() override;
  std::vector<std::string> events;
};

class FakeShell : public IShell {
 public:
  void Open(const std::string& url, const std::string& verb) override {
    opened.push_back({url, verb});
  }
  struct Call {
    std::string url;
    std::string verb;
  };
  std::vector<Call> opened;
};

}  // namespace hollowmere::testing
