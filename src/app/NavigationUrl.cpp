// Reverse of the engine's link canonicalisation (see NavigationUrl.h).
#include "app/NavigationUrl.h"

#include "text/Encoding.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

bool IsEscapeAt(std::string_view s, std::size_t i) {
  return i + 2 < s.size() && s[i] == '%' && text::HexDigitValue(s[i + 1]) >= 0 && text::HexDigitValue(s[i + 2]) >= 0;
}

unsigned char EscapeValue(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(text::HexDigitValue(s[i + 1]) * 16 + text::HexDigitValue(s[i + 2]));
}

bool HasStrayPercent(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && !IsEscapeAt(s, i)) return true;
  }
  return false;
}

// ASCII that the engine or the URL class escape but a page writes as it is.
// "%" itself is not among them: the engine never escapes it.
bool IsEscapedSymbol(unsigned char b) {
  switch (b) {
    case 0x20: case 0x22: case 0x27: case 0x3C: case 0x3E: case 0x5C:
    case 0x5E: case 0x60: case 0x7B: case 0x7C: case 0x7D:
      return true;
    default:
      return false;
  }
}

// Path and fragment: non-ASCII arrives as UTF-8 escapes.
std::string DecodeUtf8Part(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (!IsEscapeAt(s, i)) {
      out += s[i++];
      continue;
    }
    const unsigned char b = EscapeValue(s, i);
    if (b < 0x80) {
      if (IsEscapedSymbol(b)) {
        out += static_cast<char>(b);
      } else {
        out.append(s.substr(i, 3));
      }
      i += 3;
      continue;
    }
    const std::size_t start = i;
    std::string bytes;
    while (IsEscapeAt(s, i) && EscapeValue(s, i) >= 0x80) {
      bytes += static_cast<char>(EscapeValue(s, i));
      i += 3;
    }
    try {
      out += text::Utf8ToCp932(bytes);
    } catch (const text::EEncodingError&) {
      // Not text the page could have written in Shift_JIS: leave it escaped.
      out.append(s.substr(start, i - start));
    }
  }
  return out;
}

// Query: the engine escapes the page's own Shift_JIS bytes, so an escaped
// lead byte takes the following escape as its trail byte whatever its value.
std::string DecodeCp932Part(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (!IsEscapeAt(s, i)) {
      out += s[i++];
      continue;
    }
    const unsigned char b = EscapeValue(s, i);
    if (b >= 0x80) {
      out += static_cast<char>(b);
      i += 3;
      if (text::IsLeadByte(b) && IsEscapeAt(s, i)) {
        out += static_cast<char>(EscapeValue(s, i));
        i += 3;
      }
    } else if (IsEscapedSymbol(b)) {
      out += static_cast<char>(b);
      i += 3;
    } else {
      out.append(s.substr(i, 3));
      i += 3;
    }
  }
  return out;
}

}  // namespace

std::string NavigationUrlToPageText(std::string_view encoded) {
  // A "%" that starts no escape makes the URL class escape every "%" once more.
  std::string url(encoded);
  if (url.find("%25") != std::string::npos) {
    std::string once = text::ReplaceAll(url, "%25", "%");
    if (HasStrayPercent(once)) url = std::move(once);
  }

  const std::size_t mark = url.find_first_of("?#");
  if (mark == std::string::npos) return DecodeUtf8Part(url);
  std::string out = DecodeUtf8Part(std::string_view(url).substr(0, mark));
  std::size_t hash = mark;
  if (url[mark] == '?') {
    hash = url.find('#', mark);
    const std::size_t end = hash == std::string::npos ? url.size() : hash;
    out += DecodeCp932Part(std::string_view(url).substr(mark, end - mark));
  }
  if (hash != std::string::npos) out += DecodeUtf8Part(std::string_view(url).substr(hash));
  return out;
}

}  // namespace hollowmere
