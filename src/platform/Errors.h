// Exceptions of the framework layer. Every message is CP932 bytes, exactly the
// text the user is shown; the window converts it for display.
#pragma once

#include <stdexcept>
#include <string>

namespace hollowmere {

// Base of every error the program reports to the user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a valid integer: "'%s' is not a valid integer value".
class EConvertError : public Error {
 public:
  using Error::Error;
};

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
EConvertError InvalidIntegerError(const std::string& text);
EFOpenError FileOpenError(const std::string& path);
EFTooLargeError FileTooLargeError(const std::string& path);
EFCreateError FileCreateError(const std::string& path);
EIniFileException IniWriteError(const std::string& path);

}  // namespace hollowmere
