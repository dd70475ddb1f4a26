// Text and link post-processing of the balloon HTML. All scans walk whole
// Shift_JIS characters (text::CharLength) so that trail bytes never match.
#include "render/PostProcess.h"

#include <vector>

#include "regex/SubstringFinder.h"
#include "regex/bmRegExp.h"
#include "text/Html.h"
#include "text/Sjis.h"
#include "text/Url.h"

namespace hollowmere {
namespace {

using text::AppendHtmlEscaped;
using text::CharLength;
using text::HtmlEscape;
using text::UrlDecode;

// Pieces of `s` between the single-byte separators `sep`; an empty piece
// between two separators counts, a separator at the very end adds none.
std::vector<std::string_view> SplitAt(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      ++i;
      start = i;
    } else {
      i += CharLength(s, i);
    }
  }
  if (start < s.size()) parts.push_back(s.substr(start));
  return parts;
}

}  // namespace

std::string UrlDisplayText(std::string_view url) {
  const std::vector<std::string_view> parts = SplitAt(url, '/');
  // A URL without a host part (such as "http://" alone) shows as written.
  if (parts.size() < 3) return UrlDecode(url);
  const std::string_view host = parts[2];
  if (parts.size() == 3) return UrlDecode(host);

  const std::vector<std::string_view> labels = SplitAt(host, '.');
  std::size_t keep = labels.size();
  if (labels.size() >= 4) {
    keep = 3;
  } else if (labels.size() == 3) {
    keep = 2;
  }
  std::string shortHost;
  if (keep == labels.size()) {
    shortHost = host;
  } else {
    for (std::size_t j = labels.size() - keep; j < labels.size(); ++j) {
      if (j != labels.size() - keep) shortHost += '.';
      shortHost += labels[j];
    }
  }
  std::string result(parts.back());
  result += '[';
  result += shortHost;
  result += ']';
  return UrlDecode(result);
}

namespace {

// A link's text escaped for markup, with every backslash as a character
// reference: the rebuilt balloon text is tokenized again, and a backslash
// left in the link would start a tag there ("\\q[" swallowing the rest of
// the link, "\\0" starting a balloon), cutting the element in the middle of
// its attribute. The browser reads the reference back as the backslash.
void AppendLinkEscaped(std::string& out, std::string_view text) {
  std::string escaped;
  AppendHtmlEscaped(escaped, text);
  for (std::size_t i = 0; i < escaped.size();) {
    const std::size_t len = CharLength(escaped, i);
    if (len == 1 && escaped[i] == '\\') {
      out += "&#92;";
    } else {
      out.append(escaped, i, len);
    }
    i += len;
  }
}

}  // namespace

std::string UrlTagToHtml(std::string_view tagText) {
  std::string rest = text::ReplaceFirst(tagText, "\\URL", "");
  rest = text::ReplaceAll(rest, "]", "]\r\n");
  std::vector<std::string> lines = text::SplitLines(rest);
  for (std::string& line : lines) {
    if (line.empty() || !text::Contains(line, "http://")) {
      // A title or any other bracketed piece is shown as it is, made safe.
      line = HtmlEscape(line);
      continue;
    }
    std::string url = text::ReplaceFirst(line, "[", "");
    url = text::ReplaceFirst(url, "]", "");
    std::string link = "<a href=\"";
    AppendLinkEscaped(link, url);
    link += "\">";
    AppendLinkEscaped(link, UrlDisplayText(url));
    link += "</a>";
    line = std::move(link);
  }
  return text::ReplaceAll(text::JoinCrlf(lines), "\r\n", "<br>");
}

namespace {

// Whether the bytes of `needle` stand anywhere in `text`, character
// boundaries or not: a quick test before a replacement that reads the text
// as characters and decides for itself (a false alarm costs time only).
bool MayContain(const regex::TSubstringFinder& needle, std::string_view text) {
  return needle.Find(reinterpret_cast<const unsigned char*>(text.data()), text.size(), 0) !=
         regex::TSubstringFinder::npos;
}

}  // namespace

void LeadingBreakStrip(TAWKStr& awk, std::string& text, std::size_t from) {
  static const std::string kCell = "<td width=\"100%\">";
  static const std::string kPattern = kCell + "((<br>)+)";
  static const regex::TSubstringFinder kCellBreak(kCell + "<br>");
  // Without a break right after such a cell the replacement cannot change
  // anything; skipping it spares a pattern compilation per message.
  if (!MayContain(kCellBreak, std::string_view(text).substr(from))) return;
  if (awk.RegExp() != kPattern) awk.SetRegExp(kPattern);
  // Both replacements are shorter than their matches, so they are made in
  // place.
  awk.ReplaceAll(kCell, text, from);
}

void BreakCollapse(TAWKStr& awk, std::string& text, std::size_t from) {
  static const std::string kPattern = "(<br>)+";
  static const regex::TSubstringFinder kTwoBreaks("<br><br>");
  // A lone "<br>" replaced by "<br>" is no change; only runs matter.
  if (!MayContain(kTwoBreaks, std::string_view(text).substr(from))) return;
  if (awk.RegExp() != kPattern) awk.SetRegExp(kPattern);
  awk.ReplaceAll("<br>", text, from);
}

std::string LeadingBreakStrip(TAWKStr& awk, std::string text) {
  LeadingBreakStrip(awk, text, 0);
  return text;
}

std::string BreakCollapse(TAWKStr& awk, std::string text) {
  BreakCollapse(awk, text, 0);
  return text;
}

}  // namespace hollowmere
