// Markup escaping: one scan, two tables of replaced characters.
#include "text/Html.h"

#include "text/Sjis.h"

namespace hollowmere::text {
namespace {

const char* MarkupEntity(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return nullptr;
  }
}

const char* TypographicEntity(char c) {
  switch (c) {
    case ' ': return "&ensp;";
    case '\'': return "&rsquo;";
    case '"': return "&rdquo;";
    case '<': return "&lsaquo;";
    case '>': return "&rsaquo;";
    default: return nullptr;
  }
}

// Copies `text` to `out`, every single-byte character that `entityOf` names
// replaced by its entity. Runs without one are copied in one piece.
template <typename EntityOf>
void AppendEscaped(std::string& out, std::string_view text, EntityOf entityOf) {
  const std::size_t n = text.size();
  std::size_t copied = 0;
  std::size_t i = 0;
  while (i < n) {
    const std::size_t len = BrowserCharLength(text, i);
    if (len == 1) {
      if (const char* entity = entityOf(text[i])) {
        out.append(text.data() + copied, i - copied);
        out += entity;
        copied = i + 1;
      }
    }
    i += len;
  }
  out.append(text.data() + copied, n - copied);
}

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) { AppendEscaped(out, text, MarkupEntity); }

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

void AppendEntityEscaped(std::string& out, std::string_view text) {
  AppendEscaped(out, text, TypographicEntity);
}

std::string EntityEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  AppendEntityEscaped(out, text);
  return out;
}

}  // namespace hollowmere::text
