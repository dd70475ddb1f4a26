// Conversions at the window boundary.
#include "app/qt/QtText.h"

#include <QList>

#include "text/Encoding.h"

namespace hollowmere::qt {

QString ToQ(const std::string& cp932) {
  return QString::fromStdString(text::Cp932ToUtf8Lossy(cp932));
}

std::string FromQ(const QString& text) {
  try {
    return text::Utf8ToCp932(text.toStdString());
  } catch (const text::EEncodingError&) {
  }
  std::string out;
  for (const uint c : text.toUcs4()) {
    try {
      out += text::Utf8ToCp932(QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1).toStdString());
    } catch (const text::EEncodingError&) {
      out += '?';
    }
  }
  return out;
}

}  // namespace hollowmere::qt
