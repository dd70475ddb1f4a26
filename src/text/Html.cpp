// Markup escaping: one scan, two tables of replaced characters, indexed by
// byte value.
#include "text/Html.h"

#include "text/Sjis.h"

namespace hollowmere::text {
namespace {

// The entity of every byte value, empty for those that stay as they are.
struct TEntityTable {
  std::string_view entity[256];
};

constexpr TEntityTable MarkupEntities() {
  TEntityTable t{};
  t.entity[static_cast<unsigned char>('&')] = "&amp;";
  t.entity[static_cast<unsigned char>('<')] = "&lt;";
  t.entity[static_cast<unsigned char>('>')] = "&gt;";
  t.entity[static_cast<unsigned char>('"')] = "&quot;";
  return t;
}

constexpr TEntityTable TypographicEntities() {
  TEntityTable t{};
  t.entity[static_cast<unsigned char>(' ')] = "&ensp;";
  t.entity[static_cast<unsigned char>('\'')] = "&rsquo;";
  t.entity[static_cast<unsigned char>('"')] = "&rdquo;";
  t.entity[static_cast<unsigned char>('<')] = "&lsaquo;";
  t.entity[static_cast<unsigned char>('>')] = "&rsaquo;";
  return t;
}

constexpr TEntityTable kMarkup = MarkupEntities();
constexpr TEntityTable kTypographic = TypographicEntities();

// Copies `text` to `out`, every single-byte character that `table` names
// replaced by its entity, reading characters as BrowserCharLength does.
// Runs without one are copied in one piece.
inline void AppendEscaped(std::string& out, std::string_view text, const TEntityTable& table) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t copied = 0;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = bytes[i];
    if (IsLeadByte(c)) {
      i += (i + 1 < n && IsTrailByte(bytes[i + 1])) ? 2 : 1;
      continue;
    }
    if (const std::string_view entity = table.entity[c]; !entity.empty()) {
      out.append(text.data() + copied, i - copied);
      out.append(entity);
      copied = i + 1;
    }
    ++i;
  }
  out.append(text.data() + copied, n - copied);
}

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) { AppendEscaped(out, text, kMarkup); }

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

void AppendEntityEscaped(std::string& out, std::string_view text) {
  AppendEscaped(out, text, kTypographic);
}

std::string EntityEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  AppendEntityEscaped(out, text);
  return out;
}

}  // namespace hollowmere::text
