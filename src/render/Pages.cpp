// Page assembly and the page files. Each page is built whole in memory and
// written with one large write through WriteFileReplacing, so a failure
// never leaves half a page behind.
#include "render/Pages.h"


#include <algorithm>
#include <charconv>

#include "ghost/PlayLink.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"
#include "text/Html.h"
#include "text/Sjis.h"
#include "text/Url.h"

namespace hollowmere {
namespace {

void AppendNumber(std::string& out, int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

// The page's own texts, converted once.
struct PageTexts {
  std::string ghost = text::Sjis("ゴースト:");
  std::string channel = text::Sjis("チャンネル:");
  std::string connections = text::Sjis("<br>接続数:");
  std::string votes = text::Sjis("投票数:");
  std::string agrees = text::Sjis("同意数:");
  std::string voteLink = text::Sjis("\">投票</a>/");
  std::string agreeLink = text::Sjis("\">同意</a>/");
  std::string playLink = text::Sjis("\">再生</a>");
};

const PageTexts& Texts() {
  static const PageTexts texts;
  return texts;
}

// The page prefix ready for an href value.
std::string PrefixForHref(std::string_view pageFilePrefix) {
  return text::HtmlEscape(text::FileUrlPath(pageFilePrefix));
}

// Navigation with the prefix already made ready for an href value.
void AppendNavigation(std::string& out, std::string_view escapedPrefix, int64_t k, int64_t last) {
  const auto link = [&](int64_t j) {
    out += "<a href=\"file://";
    out += escapedPrefix;
    AppendNumber(out, j);
    out += ".html\">\r\n";
  };
  if (k != 0) {
    link(k - 1);
    out += "&lsaquo;&lsaquo;</a>\r\n";
  }
  for (int64_t j = 0; j <= last; ++j) {
    if (j == k) {
      AppendNumber(out, j + 1);
      out += "\r\n";
    } else {
      link(j);
      AppendNumber(out, j + 1);
      out += "</a>\r\n";
    }
  }
  if (k != last) {
    link(k + 1);
    out += "&rsaquo;&rsaquo;</a>\r\n";
  }
}

// The font name as it goes between the double quotes of the page's style
// block: '"', "<", ">" and "\\" are dropped, so the name can neither end the
// quoted name, nor the block, nor escape the quote. So are bytes that form
// no character: a browser reads such a byte as a stray one and the byte
// after it anew, which could bring back a backslash this scan took for the
// second half of a character.
std::string FontNameForStyle(std::string_view font) {
  const auto converts = [](std::string_view c) {
    try {
      text::Cp932ToUtf8(c);
      return true;
    } catch (const text::EEncodingError&) {
      return false;
    }
  };
  std::string out;
  for (std::size_t i = 0; i < font.size();) {
    const unsigned char b = static_cast<unsigned char>(font[i]);
    const std::size_t len =
        text::IsLeadByte(font[i]) && i + 1 < font.size() && text::IsTrailByte(font[i + 1]) ? 2 : 1;
    const std::string_view c = font.substr(i, len);
    i += len;
    if (len == 1 && (b == '"' || b == '<' || b == '>' || b == '\\')) continue;
    if (b >= 0x80 && !converts(c)) continue;
    out += c;
  }
  return out;
}

}  // namespace

bool IsPageFileName(std::string_view name, std::string_view base) {
  if (name.size() <= base.size() + 5 || name.substr(0, base.size()) != base ||
      name.substr(name.size() - 5) != ".html") {
    return false;
  }
  const std::string_view digits = name.substr(base.size(), name.size() - base.size() - 5);
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t EffectivePageSize(int32_t messagesPerPage) { return std::max<int32_t>(1, messagesPerPage); }

std::string PageNavigation(std::string_view pageFilePrefix, int64_t k, int64_t last) {
  std::string out;
  AppendNavigation(out, PrefixForHref(pageFilePrefix), k, last);
  return out;
}

TPageBuilder::TPageBuilder(const ShowLogContext& ctx)
    : ctx_(ctx),
      perPage_(EffectivePageSize(ctx.MessagesPerPage)),
      renderer_(ctx.parser, ctx.awk, ctx.plugins, ctx.SurfaceCacheDir, ctx.Emulation),
      dates_(ctx.Locale) {
  head_ =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja-JP\"><head>"
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">"
      "<title>Quibbleton</title>\r\n"
      "<META http-equiv=\"Content-Style-Type\" content=\"text/css\"><style type=\"text/css\">"
      "<!-- body{ font-family: \"";
  head_ += FontNameForStyle(ctx.HtmlFont);
  head_ += "\";} --></style></head><body>\r\n";
}

// Lines 3 to 11 of a message block: date, ghost, counts and the three links.
// Every value from the log is escaped; ordinary values come out unchanged.
void TPageBuilder::AppendInfoBlock(std::string& out, const TMessageItem& message) {
  const PageTexts& t = Texts();
  out += dates_.Format(message.PostedAt);
  out += "/\r\n";
  out += t.ghost;
  text::AppendHtmlEscaped(out, message.GhostName);
  out += "/\r\n";
  out += t.channel;
  text::AppendHtmlEscaped(out, message.HeaderValue("Channel"));
  out += "\r\n";
  out += t.connections;
  text::AppendHtmlEscaped(out, message.HeaderValue("Connection"));
  out += "/\r\n";
  out += t.votes;
  text::AppendHtmlEscaped(out, message.HeaderValue("Vote"));
  out += "/\r\n";
  out += t.agrees;
  text::AppendHtmlEscaped(out, message.HeaderValue("Agree"));
  out += "<br>\r\n";
  const std::string mid = text::HtmlEscape(message.HeaderValue("MID"));
  out += "<a href=\"http://vote.";
  out += mid;
  out += t.voteLink;
  out += "\r\n<a href=\"http://agree.";
  out += mid;
  out += t.agreeLink;
  out += "\r\n<a href=\"";
  std::string link;
  AppendPlayLink(link, message);
  text::AppendHtmlEscaped(out, link);
  out += t.playLink;
  out += "\r\n";
}

void TPageBuilder::AppendPageHtml(std::string& out, std::span<const TMessageItem> messages,
                                  int64_t k, int64_t last) {
  const std::string escapedPrefix = PrefixForHref(ctx_.PageFilePrefix);
  out += head_;
  AppendNavigation(out, escapedPrefix, k, last);
  int64_t number = static_cast<int64_t>(perPage_) * k;
  for (const TMessageItem& message : messages) {
    ++number;
    out += "<hr><div align=\"left\">\r\nNo.";
    AppendNumber(out, number);
    out += "<br>\r\n";
    info_.clear();
    AppendInfoBlock(info_, message);
    out += info_;
    out += "</div>\r\n<div>\r\n";
    renderer_.AppendRenderedScript(message, out);
    out += "</div>\r\n<div>\r\n";
    out += info_;
    out += "</div>\r\n";
  }
  AppendNavigation(out, escapedPrefix, k, last);
  out += "</body></html>\r\n";
}

std::string PageHtml(const ShowLogContext& ctx, std::span<const TMessageItem> messages, int64_t k,
                     int64_t last) {
  TPageBuilder builder(ctx);
  std::string out;
  builder.AppendPageHtml(out, messages, k, last);
  return out;
}

bool ShowLog(const std::string& logText, const ShowLogContext& ctx, IHtmlView& view) {
  const std::optional<std::vector<TMessageItem>> parsed = ParseLog(logText);
  if (!parsed) return false;
  const std::vector<TMessageItem>& messages = *parsed;
  if (ctx.OnAccepted) ctx.OnAccepted();
  RemoveStaleTemporaries(ExtractFilePath(ctx.PageFilePrefix),
                         [base = ExtractFileName(ctx.PageFilePrefix)](const std::string& target) {
                           return IsPageFileName(target, base);
                         });

  const int64_t perPage = EffectivePageSize(ctx.MessagesPerPage);
  const int64_t total = static_cast<int64_t>(messages.size());
  const int64_t last = total / perPage;

  TPageBuilder builder(ctx);
  std::string page;
  for (int64_t k = 0; k <= last; ++k) {
    const int64_t begin = k * perPage;
    const int64_t end = std::min(total, begin + perPage);
    page.clear();
    builder.AppendPageHtml(page,
                           std::span<const TMessageItem>(messages).subspan(
                               static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)),
                           k, last);
    std::string name = ctx.PageFilePrefix;
    AppendNumber(name, k);
    name += ".html";
    WriteFileReplacing(name, page);
    if (ctx.OnMessageWritten) {
      for (int64_t i = begin; i < end; ++i) ctx.OnMessageWritten(messages[static_cast<std::size_t>(i)]);
    }
    if (ctx.OnProgress) ctx.OnProgress(static_cast<std::size_t>(end), static_cast<std::size_t>(total));
  }
  // The view takes "file://" and the plain path, as the pages' own links
  // would name it before percent-encoding.
  view.Navigate("file://" + ctx.PageFilePrefix + "0.html");
  return true;
}

}  // namespace hollowmere
