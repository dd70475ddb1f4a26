// What a reply to the log request that is no log tells the user. The
// service answers a request it cannot serve (under maintenance, a bad
// query) with "Result: Err" and an "ExtraMessage"; anything else that is no
// log (a proxy's error page, say) is named by its first line. Either is cut
// to a length a status bar or a terminal line can show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hollowmere {

// Characters of the service's message or the first line that are shown.
inline constexpr std::size_t kRefusalShownChars = 200;

// One line (CP932) for a `reply` that the page writer did not take as a log.
std::string RefusedLogNotice(std::string_view reply);

}  // namespace hollowmere
