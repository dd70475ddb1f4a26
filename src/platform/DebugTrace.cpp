// The trace channel: stderr, switched on by HOLLOWMERE_TRACE.
#include "platform/DebugTrace.h"

#include <cstdio>
#include <cstdlib>

#include "text/Encoding.h"

namespace hollowmere {

void DebugTrace(const std::string& text) {
  if (std::getenv("HOLLOWMERE_TRACE") == nullptr) return;
  const std::string line = text::Cp932ToUtf8Lossy(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace hollowmere
