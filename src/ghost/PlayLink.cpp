// Play link writing and reading. Fields are joined by "," with any CR LF
// inside a field turned into a further "," (the link is one line).
#include "ghost/PlayLink.h"

#include <vector>

#include "text/Sjis.h"
#include "text/Url.h"

namespace hollowmere {
namespace {

void AppendField(std::string& out, std::string_view field) {
  if (field.find('\r') == std::string_view::npos) {
    out += field;
  } else {
    out += text::ReplaceAll(field, "\r\n", ",");
  }
  out += ',';
}

}  // namespace

void AppendPlayLink(std::string& out, const TMessageItem& message) {
  out += kPlayLinkPrefix;
  AppendField(out, message.GhostName);
  AppendField(out, message.HeaderValue("Channel"));
  AppendField(out, message.Script);
}

std::string MakePlayLink(const TMessageItem& message) {
  std::string out;
  out.reserve(kPlayLinkPrefix.size() + message.GhostName.size() + message.Script.size() + 32);
  AppendPlayLink(out, message);
  return out;
}

std::optional<TMessageItem> ParsePlayLink(std::string_view url) {
  std::string rest = text::UrlDecode(url);
  rest = text::ReplaceFirst(rest, kPlayLinkPrefix, "");
  rest = text::ReplaceAll(rest, ",", "\r\n");
  rest = text::ReplaceAll(rest, "/", "\\");
  const std::vector<std::string> lines = text::SplitLines(rest);
  if (lines.size() < 2) return std::nullopt;

  TMessageItem message;
  message.GhostName = lines[0];
  message.Headers.push_back("Channel:" + lines[1]);
  std::string script;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    script += lines[i];
    script += '.';
  }
  message.Script = text::ReplaceAll(script, "\\e.", "");
  return message;
}

}  // namespace hollowmere
