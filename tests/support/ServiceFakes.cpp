// The fixed-pattern date reader and the recording progress window.
#include "support/ServiceFakes.h"

#include <cctype>

namespace hollowmere::testing {
namespace {

// Reads 1 to `maxDigits` digits at `pos`.
std::optional<int> Digits(const std::string& s, std::size_t& pos, std::size_t maxDigits) {
  const std::size_t start = pos;
  int value = 0;
  while (pos < s.size() && pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
    value = value * 10 + (s[pos++] - '0');
  }
  if (pos == start) return std::nullopt;
  return value;
}

std::optional<TCivilDate> DateAt(const std::string& s, std::size_t& pos, char sep) {
  const auto y = Digits(s, pos, 4);
  if (!y || pos >= s.size() || s[pos++] != sep) return std::nullopt;
  const auto m = Digits(s, pos, 2);
  if (!m || pos >= s.size() || s[pos++] != sep) return std::nullopt;
  const auto d = Digits(s, pos, 2);
  if (!d) return std::nullopt;
  const TCivilDate date{*y, *m, *d};
  if (!IsValidDate(date)) return std::nullopt;
  return date;
}

class Progress : public IFetchProgress {
 public:
  explicit Progress(FakeFetchProgressWindows& owner) : owner_(owner) {}
  void Show(std::function<void()> onAbandon) override {
    owner_.events.push_back("show");
    onAbandon_ = std::move(onAbandon);
    if (owner_.abandonAtShow) onAbandon_();
  }
  void ShowBytes(uint64_t received) override {
    owner_.events.push_back("bytes:" + std::to_string(received));
    if (owner_.abandonAtBytes && received >= *owner_.abandonAtBytes && !clicked_) {
      clicked_ = true;
      onAbandon_();
    }
  }
  void Close() override { owner_.events.push_back("close"); }

 private:
  FakeFetchProgressWindows& owner_;
  std::function<void()> onAbandon_;
  bool clicked_ = false;
};

}  // namespace

std::optional<TCivilDate> FixedDateFormats::ReadShortDate(const std::string& text) const {
  std::size_t pos = 0;
  const auto date = DateAt(text, pos, separator_);
  if (!date || pos != text.size()) return std::nullopt;
  return date;
}

std::optional<TLocalTime> FixedDateFormats::ReadShortDateTime(const std::string& text) const {
  std::size_t pos = 0;
  const auto date = DateAt(text, pos, separator_);
  if (!date) return std::nullopt;
  TLocalTime out{*date, {}};
  if (pos == text.size()) return out;
  if (text[pos] != ' ') return std::nullopt;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  const auto h = Digits(text, pos, 2);
  if (!h || pos >= text.size() || text[pos++] != ':') return std::nullopt;
  const auto m = Digits(text, pos, 2);
  if (!m) return std::nullopt;
  out.Time = {*h, *m, 0};
  if (pos < text.size()) {
    if (text[pos++] != ':') return std::nullopt;
    const auto s = Digits(text, pos, 2);
    if (!s || pos != text.size()) return std::nullopt;
    out.Time.Second = *s;
  }
  if (!IsValidTime(out.Time)) return std::nullopt;
  return out;
}

std::unique_ptr<IFetchProgress> FakeFetchProgressWindows::Create() {
  return std::make_unique<Progress>(*this);
}

}  // namespace hollowmere::testing
