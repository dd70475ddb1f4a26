// Exceptions of the operating-system layer: files that cannot be opened,
// read or made, and settings that cannot be written. Every message is CP932
// bytes, exactly the text the user is shown; the base type is text/Error.h.
#pragma once

#include <string>

#include "text/Error.h"

namespace hollowmere {

// A file that cannot be opened: "ファイル %s は開けません".
class EFOpenError : public Error {
 public:
  using Error::Error;
};

// A file too large to be read whole: "ファイル %s は大きすぎます".
class EFTooLargeError : public EFOpenError {
 public:
  using EFOpenError::EFOpenError;
};

// A file that cannot be created: "ファイル %s を作成できません".
class EFCreateError : public Error {
 public:
  using Error::Error;
};

// A settings write the file system refused: the file name + " に書き込めません".
class EIniFileException : public Error {
 public:
  using Error::Error;
};

// Builders for the messages above (path bytes are CP932).
EFOpenError FileOpenError(const std::string& path);
EFTooLargeError FileTooLargeError(const std::string& path);
EFCreateError FileCreateError(const std::string& path);
EIniFileException IniWriteError(const std::string& path);

}  // namespace hollowmere
