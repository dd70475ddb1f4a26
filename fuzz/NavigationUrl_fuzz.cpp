// Fuzz target for the view's URL conversion back to page text
// (NavigationUrlToPageText). First byte: bit 0 clear, the rest is any URL
// the view might report: the result is never longer than the URL, and a URL
// without "%" comes back as it is. Bit 0 set, the rest is the path text a
// page wrote (CP932); it is encoded as the web engine reports a path (UTF-8
// escapes, a few symbols escaped) and must come back as the page wrote it.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "app/NavigationUrl.h"
#include "text/Encoding.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

void AppendEscape(std::string& out, unsigned char b) {
  char escape[4];
  std::snprintf(escape, sizeof escape, "%%%02X", b);
  out += escape;
}

// How the engine reports a link path the page wrote; nullopt for text it
// rewrites beyond repair ("\", "%", "?", "#", control bytes) or that is not
// CP932.
std::optional<std::string> EngineReport(std::string_view page) {
  for (const char c : page) {
    if (c == '\\' || c == '%' || c == '?' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return std::nullopt;
    }
  }
  std::string utf8;
  try {
    utf8 = text::Cp932ToUtf8(page);
  } catch (const text::EEncodingError&) {
    return std::nullopt;
  }
  std::string report;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || std::string_view(" \"'<>^`{|}").find(c) != std::string_view::npos) {
      AppendEscape(report, b);
    } else {
      report += c;
    }
  }
  return report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) == 0) {
    const std::string text = NavigationUrlToPageText(rest);
    Check(text.size() <= rest.size(), "decoding never lengthens");
    if (rest.find('%') == std::string_view::npos) Check(text == rest, "a URL without escapes is the page text");
    return 0;
  }
  const auto report = EngineReport(rest);
  if (!report) return 0;
  // Characters with two CP932 codes come back as the one the conversion picks.
  const std::string page = text::Utf8ToCp932(text::Cp932ToUtf8(rest));
  Check(NavigationUrlToPageText("http://messageofhlwmrplay/" + *report) ==
            "http://messageofhlwmrplay/" + page,
        "a path comes back as the page wrote it");
  return 0;
}
