// Fuzz target for the whole render of one message: its page (information
// block, links and the balloons of RenderScript) with the shipped pattern
// files, and either no plugins or the painting test plugin, whose pictures
// go to a cache folder inside the run's scratch folder.
// First byte: bit 0 picks the ghost-placement layout, bit 1 the painting
// plugin; the rest is one message as a log line holds it (TAB-separated
// MID ... script after an ignored stamp field).
// Nothing may be thrown, and the page body, read as a browser reads
// Shift_JIS (a lead byte pairs only with a valid trail byte), holds only the
// markup the renderer writes: no text of the message may open a tag, add an
// attribute or close a quoted value. Pictures land in the cache folder only.
// Drawn in pieces, the page is the same bytes.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Ui.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;
namespace fs = std::filesystem;

namespace {

class QuietBoxes : public IMessageBoxes {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  void Beep() override {}
};

class QuietProgress : public IProgressWindow, public IProgressWindowFactory {
 public:
  void Show() override {}
  void ShowStatus(const std::string&) override {}
  void Close() override {}
  std::unique_ptr<IProgressWindow> Create() override { return std::make_unique<QuietProgress>(); }
};

// The shared pieces of a render, made once: a fresh renderer per input
// would spend most of its time making the date formatter.
struct Setup {
  Setup() {
    parser.SetTagPattern(LoadPatternFile(HOLLOWMERE_SOURCE_DIR "/data/tagpat.txt"));
    parser.SetMetaPattern(LoadPatternFile(HOLLOWMERE_SOURCE_DIR "/data/metapat.txt"));
    awk.SetLineSeparator(mcls_CRLF);
    fs::create_directory(cache);
    painting.LoadFolder(HOLLOWMERE_TEST_PLUGIN_DIR "counting/");
    Check(painting.Count() == 1, "the painting test plugin loads");
  }

  fuzz::TScratchFolder scratch;
  const std::string cache = scratch.Path() + "/cache";
  TSsParser parser;
  TAWKStr awk;
  QuietBoxes boxes;
  QuietProgress windows;
  TSppList none{true, windows, boxes};
  TSppList painting{true, windows, boxes};
};

bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

std::string_view Word(std::string_view s, std::size_t& at) {
  const std::size_t start = at;
  while (at < s.size() && IsLetter(s[at])) ++at;
  return s.substr(start, at - start);
}

// The elements and attributes a page body may hold.
bool Allowed(std::string_view element, std::string_view attribute) {
  static const std::set<std::pair<std::string_view, std::string_view>> allowed = {
      {"a", ""},   {"a", "href"},       {"hr", ""},      {"br", ""},      {"div", ""},
      {"div", "align"}, {"table", ""},  {"table", "border"}, {"table", "summary"},
      {"tr", ""},  {"tr", "bgcolor"},   {"td", ""},      {"td", "width"}, {"img", ""},
      {"img", "src"}, {"img", "alt"}};
  return allowed.count({element, attribute}) != 0;
}

void CheckMarkup(std::string_view body) {
  std::size_t i = 0;
  while (i < body.size()) {
    Check(body[i] != '>', "no '>' outside markup");
    if (body[i] != '<') {
      i += text::BrowserCharLength(body, i);
      continue;
    }
    std::size_t at = i + 1;
    const bool closing = at < body.size() && body[at] == '/';
    if (closing) ++at;
    const std::string_view element = Word(body, at);
    Check(Allowed(element, ""), "only the renderer's elements");
    for (;;) {
      Check(at < body.size(), "every tag is closed");
      if (body[at] == '>') break;
      Check(!closing && body[at] == ' ', "attributes follow a blank");
      ++at;
      Check(Allowed(element, Word(body, at)), "only the renderer's attributes");
      Check(body.compare(at, 2, "=\"") == 0, "every value is quoted");
      at += 2;
      while (at < body.size() && body[at] != '"') at += text::BrowserCharLength(body, at);
      Check(at < body.size(), "every quoted value ends");
      ++at;
    }
    i = at + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static Setup setup;
  static long inputs = 0;
  if (size == 0) return 0;
  const bool emulation = (data[0] & 1) != 0;
  TSppList& plugins = (data[0] & 2) != 0 ? setup.painting : setup.none;

  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view fields[8];
  for (auto& field : fields) field = fuzz::TakeField(rest, '\t');
  TMessageItem message;
  message.PostedAt = {2004, 5, 6, 7, 8, 9};
  message.Headers = {"MID:" + std::string(fields[1]), "Channel:" + std::string(fields[2]),
                     "Connection:" + std::string(fields[4]), "Vote:" + std::string(fields[5]),
                     "Agree:" + std::string(fields[6])};
  message.GhostName = fields[3];
  message.Script = fields[7];

  const ShowLogContext ctx{setup.parser, setup.awk,  plugins,  setup.cache + "/", setup.scratch.Path() + "/long",
                           text::Sjis("ＭＳ 明朝"), 1, emulation, "ja_JP", {}};
  const std::string page = PageHtml(ctx, std::span<const TMessageItem>(&message, 1), 0, 0);
  const std::size_t body = page.find("<body>\r\n");
  const std::size_t end = page.rfind("</body>");
  Check(body != std::string::npos && end != std::string::npos && body < end, "a page has a body");
  CheckMarkup(std::string_view(page).substr(body + 8, end - body - 8));

  // Handed on in pieces after every balloon, as a large page is written, the
  // page is the same bytes.
  ShowLogContext inPieces = ctx;
  inPieces.SpillBytes = 0;
  TPageBuilder builder(inPieces);
  std::string spilled, tail;
  builder.SetSpill([&spilled](std::string& piece) { spilled += piece; });
  builder.AppendPageHtml(tail, std::span<const TMessageItem>(&message, 1), 0, 0);
  Check(spilled + tail == page, "a page drawn in pieces is the page drawn whole");

  // Pictures go into the cache folder and nowhere else; the folder is
  // emptied now and then so that a long run does not fill the disk.
  if (++inputs % 256 == 0) {
    for (const auto& entry : fs::directory_iterator(setup.scratch.Path())) {
      Check(entry.path() == setup.cache, "nothing is written beside the cache folder");
    }
    std::vector<fs::path> pictures;
    for (const auto& entry : fs::directory_iterator(setup.cache)) {
      Check(entry.is_regular_file() && entry.path().extension() == ".bmp", "only pictures in the cache");
      pictures.push_back(entry.path());
    }
    for (const auto& picture : pictures) fs::remove(picture);
  }
  return 0;
}
