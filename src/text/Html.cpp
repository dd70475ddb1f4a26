// Markup escaping: one scan, two tables of replaced characters, indexed by
// byte value.
#include "text/Html.h"

#include <cstdint>
#include <initializer_list>

#include "text/Sjis.h"

namespace hollowmere::text {
namespace {

// The entity of every byte value, empty for those that stay as they are,
// and what each byte value is to the scan.
struct TEntityTable {
  enum Kind : uint8_t { kKept, kLead, kReplaced };
  std::string_view entity[256];
  Kind kind[256];
};

struct TEntity {
  char c;
  std::string_view entity;
};

constexpr TEntityTable EntityTable(std::initializer_list<TEntity> entities) {
  TEntityTable t{};
  for (int b = 0; b < 256; ++b) {
    t.kind[b] = IsLeadByte(static_cast<unsigned char>(b)) ? TEntityTable::kLead : TEntityTable::kKept;
  }
  for (const TEntity& e : entities) {
    t.entity[static_cast<unsigned char>(e.c)] = e.entity;
    t.kind[static_cast<unsigned char>(e.c)] = TEntityTable::kReplaced;
  }
  return t;
}

constexpr TEntityTable kMarkup = EntityTable({{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}});
constexpr TEntityTable kTypographic = EntityTable(
    {{' ', "&ensp;"}, {'\'', "&rsquo;"}, {'"', "&rdquo;"}, {'<', "&lsaquo;"}, {'>', "&rsaquo;"}});

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
    switch (table.kind[c]) {
      case TEntityTable::kKept:
        ++i;
        break;
      case TEntityTable::kLead:
        i += (i + 1 < n && IsTrailByte(bytes[i + 1])) ? 2 : 1;
        break;
      case TEntityTable::kReplaced:
        out.append(text.data() + copied, i - copied);
        out.append(table.entity[c]);
        copied = ++i;
        break;
    }
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
