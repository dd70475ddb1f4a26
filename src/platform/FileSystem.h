// The few file-system questions the program asks, in its own CP932 terms.
// Paths in and out are CP932 bytes with "/" separators; the file system
// itself holds UTF-8 names, so every call converts at this boundary (a path
// that is not valid CP932 is passed through byte for byte).
#pragma once

#include <cstdint>
#include <functional>
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

// Files larger than this are not read whole (2 GB).
inline constexpr uint64_t kMaxReadBytes = uint64_t{1} << 31;

// A regular file's whole content; nullopt when there is none at the path, it
// cannot be read, it is no regular file (a folder, a device such as
// /dev/zero, a FIFO: none of these is opened for long enough to block), or
// it holds more than `maxBytes`.
std::optional<std::string> TryReadWholeFile(const std::string& path,
                                            uint64_t maxBytes = kMaxReadBytes);
// The same, raising EFTooLargeError ("ファイル %s は大きすぎます") for a file
// over `maxBytes` and EFOpenError ("ファイル %s は開けません") otherwise.
std::string ReadWholeFile(const std::string& path, uint64_t maxBytes = kMaxReadBytes);

// Replaces the file with `bytes` through a temporary file beside it, renamed
// into place, so a failed write never leaves a half-written file where a
// good one was. The temporary file is named TemporaryNameFor(path, pid, n)
// with this process's id and the first n from 0 that names no file yet.
// Raises EFCreateError ("ファイル %s を作成できません").
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Replaces files one after another as WriteFileReplacing does, but swaps
// the new file with the old one in a single step and keeps the old one as
// the next temporary file, written over in place (not emptied first, which
// would free its blocks only to allocate them again): a long run of pages then
// reuses a few files instead of making a new file and freeing an old one
// for every page, which is what such a run spends most of its time on.
// Only a regular file with no other name, which nobody else holds open, is
// written over; any other file in place (a second hard link, a symbolic
// link, a page someone is reading) is left as WriteFileReplacing leaves it.
// The kept file is removed with the replacer.
class TFileReplacer {
 public:
  TFileReplacer() = default;
  ~TFileReplacer();
  TFileReplacer(const TFileReplacer&) = delete;
  TFileReplacer& operator=(const TFileReplacer&) = delete;

  // As WriteFileReplacing; raises EFCreateError.
  void Replace(const std::string& path, std::string_view bytes);

 private:
  void DropSpare();
  std::string spare_;  // the kept file (native path), or empty
};

// A file written in pieces, then put in place whole as WriteFileReplacing
// puts it: for a file too large to be held in memory first. The pieces go
// into a temporary file beside `path` (named as WriteFileReplacing names
// it), which is removed unless Commit has put it in place.
class TReplacingFile {
 public:
  // Raises EFCreateError when no temporary file can be made.
  explicit TReplacingFile(std::string path);
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  // Raise EFCreateError for `path`, and the temporary file is gone.
  void Append(std::string_view bytes);
  void Commit();

 private:
  void Drop();
  std::string path_;
  std::string temporary_;  // native; empty once committed or dropped
  int fd_ = -1;
};

// The path + ".tmp" + pid + "-" + n, or, where that file name would be
// longer than a file system takes, the folder + ".tmp" + pid + "-" + n.
std::string TemporaryNameFor(const std::string& path, long pid, unsigned n);

// Removes, from `folder`, temporary files of WriteFileReplacing whose
// process has ended (a run that was killed leaves them behind) and whose
// target name (the file name before ".tmp") `isTarget` accepts. Files of a
// running process, this one included, and every other file stay. Returns
// how many were removed.
std::size_t RemoveStaleTemporaries(const std::string& folder,
                                   const std::function<bool(const std::string& targetName)>& isTarget);

// Removes, from `folder`, the regular files whose names `pick` accepts:
// symbolic links, folders and anything else that is not a regular file
// stay, whatever their name. Returns how many were removed.
std::size_t RemoveRegularFiles(const std::string& folder,
                               const std::function<bool(const std::string& name)>& pick);

// True while a process with this id exists.
bool ProcessRunning(long pid);

// The folder of the running executable, ending in "/", in the file
// system's own form (UTF-8); the current folder when the system cannot tell.
std::string NativeExecutableFolder();

// The current working folder, ending in "/", in the file system's own form;
// empty when the system cannot tell.
std::string NativeCurrentFolder();

// `path` made absolute against the current folder. An absolute path stays as
// it is, and so does every path while the current folder is unknown.
std::string AbsolutePath(const std::string& path);

// The folder part of a path, up to and including its last "/" ("" if none).
std::string ExtractFilePath(const std::string& path);

// The part of a path after its last "/".
std::string ExtractFileName(const std::string& path);

}  // namespace hollowmere
