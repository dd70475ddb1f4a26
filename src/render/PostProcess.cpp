// Text and link post-processing of the balloon HTML. All scans walk whole
// Shift_JIS characters (text::CharLength) so that trail bytes never match;
// the escaping walks them as a browser reads them (text::BrowserCharLength),
// so a character cut after its lead byte cannot hide markup from it.
#include "render/PostProcess.h"

#include <vector>

#include "regex/bmRegExp.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using text::CharLength;

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

std::string EntityEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  AppendEntityEscaped(out, text);
  return out;
}

void AppendEntityEscaped(std::string& out, std::string_view text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t len = text::BrowserCharLength(text, i);
    if (len == 2) {
      out.append(text.data() + i, 2);
      i += 2;
      continue;
    }
    switch (text[i]) {
      case ' ': out += "&ensp;"; break;
      case '\'': out += "&rsquo;"; break;
      case '"': out += "&rdquo;"; break;
      case '<': out += "&lsaquo;"; break;
      case '>': out += "&rsaquo;"; break;
      default: out += text[i]; break;
    }
    ++i;
  }
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  const std::size_t n = text.size();
  std::size_t copied = 0;
  std::size_t i = 0;
  while (i < n) {
    const std::size_t len = text::BrowserCharLength(text, i);
    const char* entity = nullptr;
    if (len == 1) {
      switch (text[i]) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        default: break;
      }
    }
    if (entity != nullptr) {
      out.append(text.data() + copied, i - copied);
      out += entity;
      copied = i + 1;
    }
    i += len;
  }
  out.append(text.data() + copied, n - copied);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t len = CharLength(text, i);
    if (len != 1 || text[i] != '%') {
      out.append(text.data() + i, len);
      i += len;
      continue;
    }
    ++i;
    // The (at most) two characters after the percent sign go with it.
    int value = 0;
    bool hex = false;
    for (int taken = 0; taken < 2 && i < n; ++taken) {
      const std::size_t clen = CharLength(text, i);
      const int digit = clen == 1 ? text::HexDigitValue(text[i]) : -1;
      if (taken == 0) hex = true;
      if (digit < 0) hex = false;
      value = value * 16 + (digit < 0 ? 0 : digit);
      i += clen;
    }
    if (hex && value >= 1 && value <= 255) out += static_cast<char>(value);
  }
  return out;
}

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

std::string LeadingBreakStrip(TAWKStr& awk, std::string text) {
  static const std::string kCell = "<td width=\"100%\">";
  static const std::string kPattern = kCell + "((<br>)+)";
  static const std::string kCellBreak = kCell + "<br>";
  // Without a break right after such a cell the replacement cannot change
  // anything; skipping it spares a pattern compilation per message.
  if (!text::Contains(text, kCellBreak)) return text;
  if (awk.RegExp() != kPattern) awk.SetRegExp(kPattern);
  awk.ReplaceAll(kCell, text);
  return text;
}

std::string BreakCollapse(TAWKStr& awk, std::string text) {
  static const std::string kPattern = "(<br>)+";
  // A lone "<br>" replaced by "<br>" is no change; only runs matter.
  if (!text::Contains(text, "<br><br>")) return text;
  if (awk.RegExp() != kPattern) awk.SetRegExp(kPattern);
  awk.ReplaceAll("<br>", text);
  return text;
}

}  // namespace hollowmere
