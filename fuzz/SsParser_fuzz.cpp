// Fuzz target for the SakuraScript tokenizer. First byte: flags; bit 2 set
// means the rest is "pattern lines NUL script" instead of a script for the
// shipped patterns. With escapes kept and invalid metas left as they are, the
// tokens must give the script back byte for byte, each at its own offset.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "script/SsParser.h"
#include "text/Sjis.h"

using namespace hollowmere;

namespace {

const std::vector<std::string>& Shipped(const char* name) {
  static const std::vector<std::string> tag =
      LoadPatternFile(std::string(HOLLOWMERE_SOURCE_DIR) + "/data/tagpat.txt");
  static const std::vector<std::string> meta =
      LoadPatternFile(std::string(HOLLOWMERE_SOURCE_DIR) + "/data/metapat.txt");
  return name[0] == 't' ? tag : meta;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  TSsParser p;
  std::string_view script = rest;
  if (flags & 4) {
    const std::size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) return 0;
    const auto lines = text::SplitLines(rest.substr(0, nul));
    p.SetTagPattern(lines);
    p.SetMetaPattern(lines);
    script = rest.substr(nul + 1);
  } else {
    p.SetTagPattern(Shipped("tag"));
    p.SetMetaPattern(Shipped("meta"));
  }
  p.LeaveEscape = (flags & 1) == 0;
  p.EscapeInvalidMeta = (flags & 2) != 0;
  try {
    p.SetInputString(script);
  } catch (const ESsParserError&) {
    return 0;  // a malformed pattern line from the fuzzer
  }
  const std::string_view scanned = script.substr(0, script.find('\0'));
  std::string joined;
  for (int i = 0; i < p.Count(); ++i) {
    const TSsMarkUp& m = p.MarkUp(i);
    if (m.Str.empty()) std::abort();
    if (m.MarkUpType == mtText && i > 0 && p.MarkUpType(i - 1) == mtText) std::abort();
    if (m.MarkUpType != mtText &&
        scanned.substr(static_cast<std::size_t>(m.Position), m.Str.size()) != m.Str) {
      std::abort();
    }
    if (!(flags & 3) && m.Position != static_cast<int32_t>(joined.size())) std::abort();
    joined += m.Str;
  }
  if (!(flags & 3) && joined != scanned) std::abort();
  return 0;
}
