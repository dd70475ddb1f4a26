// hollowmere-archive: the archive from the command line. Subcommands import
// (log texts), search, export, stats and check; every one takes --archive
// FILE instead of the program folder's archive.sqlite3. Arguments arrive as
// UTF-8; what is printed is UTF-8 except the log texts of export and
// `search --format log`, which are the service's Shift_JIS bytes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace hollowmere {

// Runs the command and returns the exit status: 0 done, 1 failure (nothing
// found is no failure), 2 a bad command line. `terminal` turns on the
// progress bar of import on `err`.
int RunArchiveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool terminal);

std::string ArchiveUsageText();

}  // namespace hollowmere
