// Writing a settings file whole, in one step, without weakening it: the file
// holds the user's LUID, so it must not become readable by others, must not
// stop being the file a symbolic link leads to, and a file made read-only
// must stay as it is.
#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

// Replaces the content of the file at `path` (CP932) with `bytes`: through
// a temporary file beside the file that symbolic links at `path` lead to,
// flushed to the disk, renamed over it, and the folder flushed. The file
// keeps its permission bits (and its owner where the system allows); a new
// file is readable and writable by its owner alone. Raises
// EIniFileException ("<path> に書き込めません"), leaving the file as it
// was, when the file is read-only (no write permission bit, or no write
// access), when something other than a regular file is there, or when the
// system refuses any step.
void SaveIniFileBytes(const std::string& path, std::string_view bytes);

}  // namespace hollowmere
