// The few file-system questions the program asks, in its own CP932 terms.
// Paths in and out are CP932 bytes with "/" separators; the file system
// itself holds UTF-8 names, so every call converts at this boundary (a path
// that is not valid CP932 is passed through byte for byte).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

// The file-system form (UTF-8) of a CP932 path.
std::string NativePath(const std::string& path);

// The CP932 form of a name the file system gave (bytes kept when the name
// has no CP932 form).
std::string ProgramPath(const std::string& nativePath);

// True when something (file or folder) exists at the path.
bool FileExists(const std::string& path);

// Names (not paths) of the ordinary files directly inside `folder` whose
// names end with `suffix` (case-sensitive), in the order the system lists
// them. Folders, hidden files (names starting with ".") and anything that is
// not a regular file are left out. A missing or unreadable folder gives none.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& suffix);

// A regular file's whole content; nullopt when there is none at the path or
// it cannot be read (a folder included).
std::optional<std::string> TryReadWholeFile(const std::string& path);
// The same, raising EFOpenError ("ファイル %s は開けません") instead.
std::string ReadWholeFile(const std::string& path);

// Replaces the file with `bytes` through a temporary file beside it, renamed
// into place, so a failed write never leaves a half-written file where a
// good one was. Raises EFCreateError ("ファイル %s を作成できません").
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// The folder of the running executable, ending in "/".
std::string ExecutableFolder();

// The folder part of a path, up to and including its last "/" ("" if none).
std::string ExtractFilePath(const std::string& path);

// The part of a path after its last "/".
std::string ExtractFileName(const std::string& path);

}  // namespace hollowmere
