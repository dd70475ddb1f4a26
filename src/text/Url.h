// The two small URL texts several subsystems share: reading percent
// sequences back (play links, a link's display text) and making a local path
// the path part of a "file://" URL (page and picture links).
#pragma once

#include <string>
#include <string_view>

namespace hollowmere::text {

// "%" with up to two following characters becomes the byte they spell in
// hexadecimal (1-255), or nothing when they spell no such byte. Every other
// character, double-byte ones whole, stays.
std::string UrlDecode(std::string_view text);

// A path as the path part of a file URL: "%", "#" and "?" would start an
// escape, a fragment or a query, so they are percent-encoded; every other
// byte, CP932 included, stays.
std::string FileUrlPath(std::string_view path);

}  // namespace hollowmere::text
