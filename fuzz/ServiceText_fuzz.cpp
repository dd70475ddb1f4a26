// Fuzz target for the texts the service and the environment hand the
// program: HOLLOWMERE_SERVICE takes a server and nothing more (what it
// accepts holds no path, query, user or blank, reads back as itself, and
// gives the same with a scheme and a slash around it; what it refuses is
// refused with a message free of control bytes), control bytes are shown
// and never left in, and the notice for a reply that is no log stays short.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "net/LogRefusal.h"
#include "net/ServiceHost.h"
#include "text/Visible.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

void CheckServiceHost(const std::string& value) {
  std::string host;
  try {
    host = ServiceHost(value.c_str());
  } catch (const EServiceHostError& e) {
    const std::string_view message = e.what();
    Check(std::none_of(message.begin(), message.end(), IsControl), "a refusal's message holds no control byte");
    return;
  }
  Check(!host.empty(), "an accepted value names a host");
  Check(host.find_first_of("@/?#\\ \t%") == std::string::npos, "an accepted host holds no path, query or user");
  Check(std::none_of(host.begin(), host.end(), IsControl), "an accepted host holds no control byte");
  Check(std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }),
        "an accepted host is ASCII");
  Check(ServiceHost(host.c_str()) == host, "an accepted host reads back as itself");
  Check(ServiceHost(("HTTP://" + host + "/").c_str()) == host, "a scheme and a slash change nothing");
}

void CheckVisible(std::string_view text) {
  const std::string shown = text::VisibleControls(text, text::LineBreaks::Show);
  Check(std::none_of(shown.begin(), shown.end(), IsControl), "no control byte is left in a one-line text");
  const std::size_t controls = static_cast<std::size_t>(std::count_if(text.begin(), text.end(), IsControl));
  Check(shown.size() == text.size() + controls, "each control byte becomes two visible ones");
  const std::string kept = text::VisibleControls(text, text::LineBreaks::Keep);
  Check(std::none_of(kept.begin(), kept.end(), [](char c) { return IsControl(c) && c != '\r' && c != '\n'; }),
        "only line breaks are left in a box's text");
  if (controls == 0) Check(shown == text, "a text without control bytes is left as it is");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckServiceHost(std::string(input.substr(0, input.find('\0'))));
  CheckVisible(input);
  const std::string notice = RefusedLogNotice(input);
  Check(notice.size() <= 64 + 2 * kRefusalShownChars + 2, "the notice for a reply that is no log stays short");
  return 0;
}
