// Diagnostic trace lines for the developer, never seen by the user: written
// to stderr only while the environment variable HOLLOWMERE_TRACE is set.
#pragma once

#include <string>

namespace hollowmere {

// One line (CP932; shown as UTF-8) when tracing is on; nothing otherwise.
void DebugTrace(const std::string& text);

}  // namespace hollowmere
