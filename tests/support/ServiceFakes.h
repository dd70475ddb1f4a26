// Doubles for the service side of the window: a clock that reads a fixed
// moment, date formats of a fixed pattern (year, month, day joined by a
// separator of the test's choosing; time "H:MM" or "H:MM:SS"), a log
// download dialog played by the test, and a fetch progress window that
// records what it was asked to show.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ServiceUi.h"

namespace hollowmere::testing {

class FixedClock : public IClock {
 public:
  explicit FixedClock(TLocalTime now) : now(now) {}
  TLocalTime Now() const override { return now; }
  TLocalTime now;
};

class FixedDateFormats : public IDateFormats {
 public:
  explicit FixedDateFormats(char separator = '/') : separator_(separator) {}
  std::optional<TCivilDate> ReadShortDate(const std::string& text) const override;
  std::optional<TLocalTime> ReadShortDateTime(const std::string& text) const override;

 private:
  char separator_;
};

// Each Execute shows the conditions to `user`, which may change them and
// answers OK (true) or Cancel (false).
class FakeLogDownDialog : public ILogDownDialog {
 public:
  bool Execute(TLogConditions& conditions) override {
    shown.push_back(conditions);
    return user ? user(conditions) : false;
  }
  std::function<bool(TLogConditions&)> user;
  std::vector<TLogConditions> shown;
};

// Events as lines: "show", "bytes:<n>", "close". `abandonAtBytes`: the
// user clicks the abandon button once that many bytes have been shown.
class FakeFetchProgressWindows : public IFetchProgressWindows {
 public:
  std::unique_ptr<IFetchProgress> Create() override;
  std::vector<std::string> events;
  std::optional<uint64_t> abandonAtBytes;
  bool abandonAtShow = false;
};

}  // namespace hollowmere::testing
