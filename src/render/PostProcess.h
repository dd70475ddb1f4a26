// Small text transformations behind the balloon HTML: escaping script text,
// turning \URL tags into links, percent-decoding, and tidying line breaks.
// Every scan steps over Shift_JIS double-byte characters whole, so a trail
// byte (0x5C, 0x5D, 0x7C ...) is never taken for the ASCII character it equals.
#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

class TAWKStr;

// Script text made safe for a page: space, "'", '"', "<", ">" become
// "&ensp;", "&rsquo;", "&rdquo;", "&lsaquo;", "&rsaquo;". "&" is left alone.
std::string EntityEscape(std::string_view text);
void AppendEntityEscaped(std::string& out, std::string_view text);

// Text from the log made safe inside an element or a double-quoted attribute
// value: "&", "<", ">", '"' become "&amp;", "&lt;", "&gt;", "&quot;".
std::string HtmlEscape(std::string_view text);
void AppendHtmlEscaped(std::string& out, std::string_view text);

// A \URL tag as links and plain lines, every line followed by "<br>".
std::string UrlTagToHtml(std::string_view tagText);

// Short display text of a URL: the host alone, or "last part[short host]";
// percent-decoded.
std::string UrlDisplayText(std::string_view url);

// "%" with up to two following characters becomes the byte they spell in
// hexadecimal (1-255), or nothing when they spell no such byte.
std::string UrlDecode(std::string_view text);

// Drops every run of "<br>" right after '<td width="100%">'.
std::string LeadingBreakStrip(TAWKStr& awk, std::string text);

// Collapses every run of "<br>" into one.
std::string BreakCollapse(TAWKStr& awk, std::string text);

}  // namespace hollowmere
