// Shared set-up for the rendering tests: a tokenizer with a known pattern
// list, the regular-expression component, an empty plugin list and a scratch
// surface cache folder, plus the expected markup built independently.
#pragma once

#include <string>
#include <vector>

#include "regex/bmRegExp.h"
#include "script/SsParser.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"

namespace hollowmere::testing {

inline std::vector<std::string> TestTagPatterns() {
  return {"\\0",     "\\1",      "\\h",     "\\u",          "\\s[%D]",        "\\s[-%D]",
          "\\s%d",   "\\n[half]", "\\n%b",  "\\n",          "\\_s",           "\\c",
          "\\e",     "\\w%d",    "\\_w%b",  "\\URL%b%b%b%b", "\\URL%b%b%b",    "\\URL%b%b",
          "\\URL%b", "!x%b"};
}

inline std::vector<std::string> TestMetaPatterns() { return {"username", "selfname"}; }

struct RenderFixture {
  RenderFixture() : plugins(true, windows, boxes) {
    parser.SetTagPattern(TestTagPatterns());
    parser.SetMetaPattern(TestMetaPatterns());
    awk.SetLineSeparator(mcls_CRLF);
  }

  // The img element for a surface picture in the cache folder.
  std::string Img(int n, const std::string& ghost = "G") const {
    const std::string file = n == -1 ? "General-1" : ghost + std::to_string(n);
    return "<img src=\"file://" + cache.path() + file + ".bmp\" alt=\"" + ghost + std::to_string(n) +
           "\">";
  }

  TempDir cache;
  TSsParser parser;
  TAWKStr awk;
  FakeProgressWindows windows;
  FakeMessageBoxes boxes;
  TSppList plugins;
};

// Balloon lines as the renderer writes them.
inline std::string Speaker0Emulation(const std::string& text, const std::string& img) {
  return "<div align=\"right\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\">"
         "<td width=\"100%\">" + text + "</td><td>" + img + "</td></tr></table></div>\r\n";
}
inline std::string Speaker0Left(const std::string& text, const std::string& img) {
  return "<div align=\"left\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\"><td>" + img +
         "</td><td width=\"100%\">" + text + "</td></tr></table></div>\r\n";
}
inline std::string Speaker1(const std::string& text, const std::string& img) {
  return "<div align=\"left\"><table border=\"0\" summary=\"\\1\"><tr bgcolor=\"#B0C4DE\"><td>" + img +
         "</td><td width=\"100%\">" + text + "</td></tr></table></div>\r\n";
}

}  // namespace hollowmere::testing
