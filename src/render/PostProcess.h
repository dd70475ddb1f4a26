// Small text transformations behind the balloon HTML: turning \URL tags
// into links and tidying line breaks (escaping is text/Html.h).
// Every scan steps over Shift_JIS double-byte characters whole, so a trail
// byte (0x5C, 0x5D, 0x7C ...) is never taken for the ASCII character it equals.
#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

class TAWKStr;

// A \URL tag as links and plain lines, every line followed by "<br>".
std::string UrlTagToHtml(std::string_view tagText);

// Short display text of a URL: the host alone, or "last part[short host]";
// percent-decoded.
std::string UrlDisplayText(std::string_view url);

// Drops every run of "<br>" right after '<td width="100%">'.
std::string LeadingBreakStrip(TAWKStr& awk, std::string text);
// The same over the part of `text` from byte `from` on, in place.
void LeadingBreakStrip(TAWKStr& awk, std::string& text, std::size_t from);

// Collapses every run of "<br>" into one.
std::string BreakCollapse(TAWKStr& awk, std::string text);
void BreakCollapse(TAWKStr& awk, std::string& text, std::size_t from);

}  // namespace hollowmere
