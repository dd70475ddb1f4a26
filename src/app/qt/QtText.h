// The window's text boundary: the core speaks CP932 bytes, Qt speaks QString.
#pragma once

#include <QString>
#include <string>

namespace hollowmere::qt {

// CP932 to QString; a byte that is not CP932 shows as U+FFFD.
QString ToQ(const std::string& cp932);

// QString to CP932; a character that CP932 cannot hold becomes "?".
std::string FromQ(const QString& text);

// One of the program's own texts (captions, labels), written in the source
// as UTF-8.
inline QString J(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace hollowmere::qt
