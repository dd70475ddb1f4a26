// Boxes as lines of text.
#include "app/ConsoleUi.h"

#include <cstring>

#include "text/Encoding.h"
#include "text/Sjis.h"
#include "text/Visible.h"

namespace hollowmere {
namespace {

void WriteLines(std::ostream& out, const std::string& program, const std::string& cp932,
                const char* suffix) {
  const std::vector<std::string> lines = text::SplitLines(cp932);
  out << program << ':';
  if (lines.empty()) out << ' ';
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // A message may carry a server's or a ghost's text: a terminal must
    // not obey the control bytes in it.
    out << (i == 0 ? " " : "\n  ")
        << text::Cp932ToUtf8Lossy(text::VisibleControls(lines[i], text::LineBreaks::Show));
  }
  out << suffix << '\n';
  out.flush();
}

bool Set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

bool IsHeadless(const char* display, const char* waylandDisplay, const char* qpaPlatform) {
  if (Set(qpaPlatform) && (std::strcmp(qpaPlatform, "offscreen") == 0 || std::strcmp(qpaPlatform, "minimal") == 0)) {
    return true;
  }
  return !Set(display) && !Set(waylandDisplay);
}

void TConsoleMessageBoxes::ShowMessage(const std::string& text) { WriteLines(out_, program_, text, ""); }

bool TConsoleMessageBoxes::AskYesNo(const std::string& text) {
  WriteLines(out_, program_, text, " [no]");
  return false;
}

std::optional<std::string> TConsoleFileChooser::ChooseFile(const std::string& filter, const std::string&) {
  out_ << "Hollowmere: no display to choose a file ("
       << text::Cp932ToUtf8Lossy(text::VisibleControls(filter, text::LineBreaks::Show)) << "), none chosen\n";
  out_.flush();
  return std::nullopt;
}

}  // namespace hollowmere
