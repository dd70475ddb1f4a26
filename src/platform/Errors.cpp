// Message texts of the framework-layer exceptions.
#include "platform/Errors.h"

#include "text/Encoding.h"

namespace hollowmere {

EFOpenError FileOpenError(const std::string& path) {
  static const std::string head = text::Sjis("ファイル ");
  static const std::string tail = text::Sjis(" は開けません");
  return EFOpenError(head + path + tail);
}

EFTooLargeError FileTooLargeError(const std::string& path) {
  static const std::string head = text::Sjis("ファイル ");
  static const std::string tail = text::Sjis(" は大きすぎます");
  return EFTooLargeError(head + path + tail);
}

EFCreateError FileCreateError(const std::string& path) {
  static const std::string head = text::Sjis("ファイル ");
  static const std::string tail = text::Sjis(" を作成できません");
  return EFCreateError(head + path + tail);
}

EIniFileException IniWriteError(const std::string& path) {
  static const std::string tail = text::Sjis(" に書き込めません");
  return EIniFileException(path + tail);
}

}  // namespace hollowmere
