// The one folder of the baseware interface on Linux, which holds the FMO
// blocks, their lock files and the window sockets (hwnd/N), and the rule by
// which a reader trusts it: only a folder that no other account can write
// may feed ghosts to the program.
#pragma once

#include <optional>
#include <string>

#include "platform/UniqueFd.h"

namespace hollowmere {

// $HOLLOWMERE_FMO_DIR when set and not empty, otherwise $XDG_RUNTIME_DIR/fmo,
// otherwise /tmp/fmo-<uid>. A file-system (UTF-8) path without a final "/".
std::string FmoFolderPath();

struct TTrustedFolder {
  enum class EState { Open, Missing, Refused };
  EState State = EState::Missing;
  TUniqueFd Fd;        // open (a directory descriptor) when State is Open
  std::string Reason;  // why it is not open, for the trace
};

// Opens `folder` when it is a real folder (not a symbolic link) owned by the
// effective user that neither its group nor others may write. With
// `create`, a missing folder is made first, with mode 0700.
TTrustedFolder OpenTrustedFolder(const std::string& folder, bool create);

// The window sockets' folder "hwnd" inside a trusted `folder`, by the same
// rule (`shownPath`: its path, for the reason). With `create`, a missing
// one is made first, with mode 0700.
TTrustedFolder OpenTrustedSubfolder(const TTrustedFolder& folder, const std::string& name,
                                    const std::string& shownPath, bool create);

// The file name (UTF-8) of a CP932 block, mutex or window name inside the
// folder; nullopt for a name that has none: empty, ".", "..", one holding
// "/" or a NUL byte, or one that is not CP932.
std::optional<std::string> FmoFileName(const std::string& name);

}  // namespace hollowmere
