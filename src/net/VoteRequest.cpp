// Vote command, body encoding, reply notices and message id recovery.
#include "net/VoteRequest.h"

#include "log/HeadValue.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

bool MustEscape(unsigned char b) {
  switch (b) {
    case '#': case '%': case '*': case '+': case '<': case '>': case '[': case ']':
      return true;
    default:
      return b < 0x21 || b > 0x80;
  }
}

// ASCII letters lowered, a double-byte character's trail byte left alone.
std::string FoldCase(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t n = text::CharLength(out, i);
    if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    i += n;
  }
  return out;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (MustEscape(b)) {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> VoteCommandLines(const std::string& mid, const std::string& voteType,
                                          const std::string& luid) {
  return {"Command: voteMessage", "VoteType: " + voteType, "LUID: " + luid, "MID: " + mid};
}

std::vector<TReplyNotice> VoteReplyNotices(std::string_view reply) {
  const THeadValue values(reply);
  std::vector<TReplyNotice> notices;
  if (values.ValueOf("Result") == "Err") {
    const std::string message = values.ValueOf("ExtraMessage");
    if (!message.empty()) {
      notices.push_back({true, text::Sjis("SSTP Voylaサーバが次のエラーを返しました:\r\n") + message});
    } else {
      notices.push_back({true, text::Sjis("SSTP Voylaサーバが何らかのエラーを返しました。")});
    }
  }
  const std::string tip = values.ValueOf("ExtraTip");
  if (!tip.empty()) notices.push_back({false, tip});
  return notices;
}

void TShownMessageIds::Add(const std::string& mid) {
  if (!exact_.insert(mid).second) return;
  byFolded_.try_emplace(FoldCase(mid), mid);
}

void TShownMessageIds::Clear() {
  exact_.clear();
  byFolded_.clear();
}

void TShownMessageIds::Merge(const TShownMessageIds& other) {
  for (const auto& [folded, mid] : other.byFolded_) byFolded_.try_emplace(folded, mid);
  exact_.insert(other.exact_.begin(), other.exact_.end());
}

std::string TShownMessageIds::Recover(const std::string& arrived) const {
  if (exact_.contains(arrived)) return arrived;
  const auto it = byFolded_.find(FoldCase(arrived));
  return it != byFolded_.end() ? it->second : arrived;
}

}  // namespace hollowmere
