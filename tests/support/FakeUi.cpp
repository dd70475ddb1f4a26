// Status-window double: every call lands in the factory's event list.
#include "support/FakeUi.h"

namespace hollowmere::testing {
namespace {

class FakeProgressWindow : public IProgressWindow {
 public:
  explicit FakeProgressWindow(std::vector<std::string>& events) : events_(events) {}
  void Show() override { events_.push_back("show"); }
  void ShowStatus(const std::string& text) override { events_.push_back("status:" + text); }
  void Close() override { events_.push_back("close"); }

 private:
  std::vector<std::string>& events_;
};

}  // namespace

std::unique_ptr<IProgressWindow> FakeProgressWindows::Create() {
  events.push_back("create");
  return std::make_unique<FakeProgressWindow>(events);
}

}  // namespace hollowmere::testing
