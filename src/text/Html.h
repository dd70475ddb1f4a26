// Text from outside made safe for a page. Two escapings, each for its own
// place in the markup, sharing one scan: the scan steps over characters as
// a browser decoding the page's Shift_JIS reads them (BrowserCharLength), so
// a lead byte without its second byte cannot hide the "<" or quote after it.
// For valid Shift_JIS both leave every double-byte character as it is.
#pragma once

#include <string>
#include <string_view>

namespace hollowmere::text {

// Inside an element or a double-quoted attribute value (names, header
// values, paths, links): "&", "<", ">", '"' become "&amp;", "&lt;", "&gt;",
// "&quot;".
std::string HtmlEscape(std::string_view text);
void AppendHtmlEscaped(std::string& out, std::string_view text);

// Script text shown in a balloon, typographic and without markup: space,
// "'", '"', "<", ">" become "&ensp;", "&rsquo;", "&rdquo;", "&lsaquo;",
// "&rsaquo;"; "&" stays, so the script's own entities show as entities.
std::string EntityEscape(std::string_view text);
void AppendEntityEscaped(std::string& out, std::string_view text);

}  // namespace hollowmere::text
