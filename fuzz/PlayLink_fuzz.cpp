// Fuzz target for play links. First byte: bit 0 clear, the rest is a URL as
// the view reports it, read back with ParsePlayLink; bit 0 set, the rest is
// ghost name NUL channel NUL script, written with MakePlayLink and read back,
// and the fields must come back as a play link promises ("/" as "\", the
// script's "," as "." with a "." after it and "\e." taken out).
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ghost/PlayLink.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

void CheckRecord(const TMessageItem& m) {
  Check(m.Headers.size() == 1 && m.Headers[0].rfind("Channel:", 0) == 0, "one Channel header");
  for (const std::string* field : {&m.GhostName, &m.Headers[0], &m.Script}) {
    Check(field->find_first_of("\r\n") == std::string::npos, "no field holds a line break");
  }
}

// Fields that a link carries unchanged apart from "/": whole characters, and
// none of the bytes that separate, break or escape.
bool Plain(std::string_view field) {
  for (std::size_t i = 0; i < field.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(field[i]);
    if (text::IsLeadByte(c)) {
      if (i + 1 >= field.size() || !text::IsTrailByte(field[i + 1])) return false;
      ++i;
    } else if (c == ',' || c == '%' || c == '\r' || c == '\n') {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) == 0) {
    if (const auto m = ParsePlayLink(rest)) CheckRecord(*m);
    return 0;
  }
  TMessageItem sent;
  sent.GhostName = fuzz::TakeField(rest, '\0');
  sent.Headers.push_back("Channel:" + std::string(fuzz::TakeField(rest, '\0')));
  sent.Script = rest;
  const std::string link = MakePlayLink(sent);
  Check(link.rfind(kPlayLinkPrefix, 0) == 0 && link.back() == ',', "a link is the prefix, fields and a final comma");
  // A "%" in a field takes the two characters after it, separators too.
  const auto back = ParsePlayLink(link);
  if (back) CheckRecord(*back);
  const std::string channel = sent.HeaderValue("Channel");
  if (Plain(sent.GhostName) && Plain(channel)) {
    Check(back.has_value(), "a link of plain fields has its fields");
    Check(back->GhostName == text::ReplaceAll(sent.GhostName, "/", "\\"), "the ghost name comes back");
    Check(back->HeaderValue("Channel") == text::ReplaceAll(channel, "/", "\\"), "the channel comes back");
    if (Plain(text::ReplaceAll(sent.Script, ",", ""))) {
      const std::string script = text::ReplaceAll(text::ReplaceAll(sent.Script, "/", "\\"), ",", ".") + ".";
      Check(back->Script == text::ReplaceAll(script, "\\e.", ""), "the script comes back");
    }
  }
  return 0;
}
