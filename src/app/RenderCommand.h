// hollowmere-render: the command-line road to the pages. It renders a saved
// log exactly as the window's ShowLog does, into a folder of the user's
// choice, without a window. Arguments arrive as UTF-8; texts that go into
// pages are converted to CP932, while file-system calls keep the UTF-8 form.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/RenderArguments.h"

namespace hollowmere {

// The plugin folder a run without --plugins uses: the one the window's
// settings ("Hollowmere.ini" in `programFolder`) name when it is a folder,
// else `installedFolder` when it is one, else none. Folders native, ending
// in "/"; `Note` says which was taken, for the user.
struct TRenderPlugins {
  std::string Folder;  // empty: no plugins
  std::string Note;
};
TRenderPlugins DefaultRenderPlugins(const std::string& programFolder, const std::string& installedFolder);

// Runs the command and returns the exit status: 0 when the pages are written,
// 1 when the log was rejected or rendering failed, 2 for a bad command line.
// `out` gets where the pages are; `err` every message (UTF-8). `terminal`
// turns on the progress bar on `err`.
int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     bool terminal);

}  // namespace hollowmere
