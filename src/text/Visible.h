// Texts from outside (a server's status line or message, a ghost's name, a
// file's line) on their way to a terminal, a message box or the status bar.
// A control byte in them must show, never act: a terminal obeys ESC, so a
// status line with "\x1b[2J" in it would clear the user's screen. Control
// bytes are written in caret notation, as `cat -v` writes them: 0x00-0x1F
// as "^@".."^_", DEL as "^?". A lead byte with a trail byte is one
// character and passes whole (a trail byte is never a control byte); a lead
// byte without one is taken alone, so the byte after it is still looked at.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hollowmere::text {

enum class LineBreaks {
  Show,  // a one-line place (the status bar): CR and LF show as ^M and ^J
  Keep,  // a box or a terminal that breaks lines itself: CR and LF stay
};

// The text with every control byte made visible; a text without any comes
// back as it is.
std::string VisibleControls(std::string_view cp932, LineBreaks breaks);

// The first `limit` characters of the text (a double-byte character counts
// as one), "…" after them when the text was longer.
std::string CutChars(std::string_view cp932, std::size_t limit);

}  // namespace hollowmere::text
