// Turns the URL that the HTML engine reports for a followed link back into the
// CP932 text that the page wrote, so that the link rules see ghost names and
// scripts as they were rendered.
//
// The engine canonicalises every link before it reports it: it decodes the
// page's Shift_JIS, percent-encodes non-ASCII as UTF-8 in the path and the
// fragment but as Shift_JIS bytes in the query, escapes blanks and a few
// symbols, turns "\" into "/" in the path and lowercases the host. The
// toolkit's URL class may then escape every "%" once more when the text holds
// a "%" that starts no escape. This undoes what can be undone; "\" turned into
// "/" and a lowercased host cannot be told apart from what the page wrote.
// Escapes that the page wrote itself as "%25" are kept, so a later
// percent-decoding of the link sees them exactly once.
#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

// `encoded`: the fully percent-encoded ASCII form of the reported URL.
// Returns CP932 bytes.
std::string NavigationUrlToPageText(std::string_view encoded);

}  // namespace hollowmere
