// The notice for a reply that is no log; see LogRefusal.h.
#include "net/LogRefusal.h"

#include "log/HeadValue.h"
#include "text/Encoding.h"
#include "text/Sjis.h"
#include "text/Visible.h"

namespace hollowmere {

std::string RefusedLogNotice(std::string_view reply) {
  // The service's own error replies are a few short lines: a large reply
  // that is no log is read no further than this.
  constexpr std::size_t kReadAtMost = 64 * 1024;
  const std::string_view head = reply.substr(0, kReadAtMost);
  const THeadValue values(head);
  if (values.ValueOf("Result") == "Err") {
    const std::string message = values.ValueOf("ExtraMessage");
    if (message.empty()) return text::Sjis("SSTP Voylaサーバが何らかのエラーを返しました。");
    return text::Sjis("SSTP Voylaサーバが次のエラーを返しました: ") + text::CutChars(message, kRefusalShownChars);
  }
  text::TLineReader lines(head);
  std::string_view first;
  lines.Next(first);
  return text::Sjis("サーバの応答はログではありません: ") + text::CutChars(first, kRefusalShownChars);
}

}  // namespace hollowmere
