// Play links: the pseudo-URL that carries a message's ghost name, channel and
// script from a page back to the program, so that a running ghost can act the
// script out. Nothing in the link is encoded; reading it back is lossy by
// design ("/" comes back as "\", "," as ".", percent sequences decoded).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "log/MessageItem.h"

namespace hollowmere {

inline constexpr std::string_view kPlayLinkPrefix = "http://messageofhlwmrplay/";

// "http://messageofhlwmrplay/" + ghost + "," + channel + "," + script + ",".
std::string MakePlayLink(const TMessageItem& message);
// The same, appended to `out` (the page builder's hot path).
void AppendPlayLink(std::string& out, const TMessageItem& message);

// The message a play link stands for: GhostName, one header "Channel:<value>"
// and the script. Empty when the link has no channel field, so nothing can be
// queued for it.
std::optional<TMessageItem> ParsePlayLink(std::string_view url);

}  // namespace hollowmere
