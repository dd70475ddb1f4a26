// Page assembly and the page files. Each page is built whole in memory and
// written with one large write through a TFileReplacer, so a failure never
// leaves half a page behind. With several threads, workers build the
// pages a few ahead while the calling thread writes them in order.
#include "render/Pages.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ghost/PlayLink.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/FreeSpace.h"
#include "regex/bmRegExp.h"
#include "render/PagePipeline.h"
#include "render/PageSurfaces.h"
#include "render/PostProcess.h"
#include "script/SsParser.h"
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

}  // namespace

// The links of one run's navigation. With few pages, each page's link is
// made once and page k's navigation is the links before k, k's own number,
// and the links after; with more, a page names the first and the last page
// and its neighbours within kNavigationReach, with "&hellip;" where pages
// are left out.
void TNavigationLinks::Reset(std::string_view escapedPrefix, int64_t last) {
  if (last == last_ && escapedPrefix == prefix_) return;
  prefix_ = escapedPrefix;
  last_ = last;
  links_.clear();
  starts_.clear();
  if (last + 1 > kFullNavigationPages) return;
  starts_.reserve(static_cast<std::size_t>(last) + 2);
  for (int64_t j = 0; j <= last; ++j) {
    starts_.push_back(links_.size());
    AppendLink(links_, j);
    AppendNumber(links_, j + 1);
    links_ += "</a>\r\n";
  }
  starts_.push_back(links_.size());
}

void TNavigationLinks::AppendLink(std::string& out, int64_t j) const {
  out += "<a href=\"file://";
  out += prefix_;
  AppendNumber(out, j);
  out += ".html\">\r\n";
}

void TNavigationLinks::AppendPages(std::string& out, int64_t first, int64_t last, int64_t k) const {
  const auto number = [&] {
    AppendNumber(out, k + 1);
    out += "\r\n";
  };
  if (!starts_.empty()) {
    const auto at = [&](int64_t j) { return starts_[static_cast<std::size_t>(j)]; };
    if (k < first || k > last) {
      out.append(links_, at(first), at(last + 1) - at(first));
    } else {
      out.append(links_, at(first), at(k) - at(first));
      number();
      out.append(links_, at(k + 1), at(last + 1) - at(k + 1));
    }
    return;
  }
  for (int64_t j = first; j <= last; ++j) {
    if (j == k) {
      number();
      continue;
    }
    AppendLink(out, j);
    AppendNumber(out, j + 1);
    out += "</a>\r\n";
  }
}

void TNavigationLinks::Append(std::string& out, int64_t k) const {
  if (k != 0) {
    AppendLink(out, k - 1);
    out += "&lsaquo;&lsaquo;</a>\r\n";
  }
  if (last_ + 1 <= kFullNavigationPages) {
    AppendPages(out, 0, last_, k);
  } else {
    const int64_t from = std::max<int64_t>(0, k - kNavigationReach);
    const int64_t to = std::min(last_, k + kNavigationReach);
    if (from > 0) {
      AppendPages(out, 0, 0, k);
      if (from > 1) out += "&hellip;\r\n";
    }
    AppendPages(out, from, to, k);
    if (to < last_) {
      if (to < last_ - 1) out += "&hellip;\r\n";
      AppendPages(out, last_, last_, k);
    }
  }
  if (k != last_) {
    AppendLink(out, k + 1);
    out += "&rsaquo;&rsaquo;</a>\r\n";
  }
}

namespace {

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

bool IsPageFilePast(std::string_view name, std::string_view base, int64_t last) {
  if (!IsPageFileName(name, base)) return false;
  const std::string_view digits = name.substr(base.size(), name.size() - base.size() - 5);
  if (digits.size() > 1 && digits[0] == '0') return false;
  int64_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  // Too many digits for any page this program numbers: past every last page.
  if (error == std::errc::result_out_of_range) return true;
  return error == std::errc() && end == digits.data() + digits.size() && number > last;
}

int32_t EffectivePageSize(int32_t messagesPerPage) { return std::max<int32_t>(1, messagesPerPage); }

std::string PageNavigation(std::string_view pageFilePrefix, int64_t k, int64_t last) {
  TNavigationLinks links;
  links.Reset(PrefixForHref(pageFilePrefix), last);
  std::string out;
  links.Append(out, k);
  return out;
}

unsigned PageThreads(unsigned configured) {
  if (configured != 0) return configured;
  return std::max(1u, std::thread::hardware_concurrency());
}

TPageBuilder::TPageBuilder(const ShowLogContext& ctx)
    : ctx_(ctx),
      perPage_(EffectivePageSize(ctx.MessagesPerPage)),
      renderer_(ctx.parser, ctx.awk, ctx.plugins, ctx.SurfaceCacheDir, ctx.Emulation),
      dates_(ctx.Locale) {
  MakeHead();
}

TPageBuilder::TPageBuilder(const ShowLogContext& ctx, TSsParser& parser, TAWKStr& awk,
                           ISurfaceFiles& surfaces)
    : ctx_(ctx),
      perPage_(EffectivePageSize(ctx.MessagesPerPage)),
      renderer_(parser, awk, surfaces, ctx.SurfaceCacheDir, ctx.Emulation),
      dates_(ctx.Locale) {
  MakeHead();
}

void TPageBuilder::MakeHead() {
  escapedPrefix_ = PrefixForHref(ctx_.PageFilePrefix);
  head_ =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja-JP\"><head>"
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">"
      "<title>Quibbleton</title>\r\n"
      "<META http-equiv=\"Content-Style-Type\" content=\"text/css\"><style type=\"text/css\">"
      "<!-- body{ font-family: \"";
  head_ += FontNameForStyle(ctx_.HtmlFont);
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
                                  int64_t k, int64_t last, const std::atomic<bool>* stop) {
  navigation_.Reset(escapedPrefix_, last);
  out += head_;
  navigation_.Append(out, k);
  int64_t number = static_cast<int64_t>(perPage_) * k;
  for (const TMessageItem& message : messages) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
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
  navigation_.Append(out, k);
  out += "</body></html>\r\n";
}

void TPageBuilder::SetSpill(std::function<void(std::string&)> spill) {
  renderer_.SetSpill(std::move(spill), ctx_.SpillBytes);
}

std::string PageHtml(const ShowLogContext& ctx, std::span<const TMessageItem> messages, int64_t k,
                     int64_t last) {
  TPageBuilder builder(ctx);
  std::string out;
  builder.AppendPageHtml(out, messages, k, last);
  return out;
}

namespace {

// Where the pages of one run go, and the hooks that follow each write. The
// page files are replaced through one replacer, so a run over the pages of
// an earlier one reuses their files rather than making new ones. Each page
// is weighed against the disk's free space before it is written; a page
// built in pieces, piece by piece as the pieces come (on any thread).
class TPageWriter {
 public:
  TPageWriter(const ShowLogContext& ctx, const std::vector<TMessageItem>& messages)
      : ctx_(ctx),
        messages_(messages),
        perPage_(EffectivePageSize(ctx.MessagesPerPage)),
        total_(static_cast<int64_t>(messages.size())),
        last_(total_ / perPage_),
        folder_(ExtractFilePath(ctx.PageFilePrefix)),
        space_(ctx.Space != nullptr ? *ctx.Space : SystemDiskSpace()) {}

  int64_t Last() const { return last_; }
  std::string PageName(int64_t k) const {
    std::string name = ctx_.PageFilePrefix;
    AppendNumber(name, k);
    name += ".html";
    return name;
  }
  std::span<const TMessageItem> PageMessages(int64_t k) const {
    const int64_t begin = k * perPage_;
    const int64_t end = std::min(total_, begin + perPage_);
    return std::span<const TMessageItem>(messages_).subspan(static_cast<std::size_t>(begin),
                                                            static_cast<std::size_t>(end - begin));
  }

  // Page k's file while it is written in pieces, from any thread.
  std::unique_ptr<TReplacingFile> OpenPage(int64_t k) const {
    return std::make_unique<TReplacingFile>(PageName(k));
  }
  // One write at a time, each after its weighing: two at once could each
  // find room that only one of them has.
  void Spill(TReplacingFile& file, std::string_view piece) {
    const std::lock_guard<std::mutex> hold(writeLock_);
    EnsureRoomFor(space_, folder_, piece.size());
    file.Append(piece);
  }

  // Page k, or its last piece when the rest is in `pieces` already.
  void Write(int64_t k, std::string_view html, TReplacingFile* pieces = nullptr) {
    if (pieces != nullptr) {
      Spill(*pieces, html);
      pieces->Commit();
    } else {
      const std::lock_guard<std::mutex> hold(writeLock_);
      EnsureRoomFor(space_, folder_, html.size());
      files_.Replace(PageName(k), html);
    }
    const std::span<const TMessageItem> page = PageMessages(k);
    if (ctx_.OnMessageWritten) {
      for (const TMessageItem& message : page) ctx_.OnMessageWritten(message);
    }
    if (ctx_.OnProgress) {
      const int64_t done = k * perPage_ + static_cast<int64_t>(page.size());
      ctx_.OnProgress(static_cast<std::size_t>(done), static_cast<std::size_t>(total_));
    }
  }

 private:
  const ShowLogContext& ctx_;
  const std::vector<TMessageItem>& messages_;
  const int64_t perPage_;
  const int64_t total_;
  const int64_t last_;
  const std::string folder_;
  IDiskSpace& space_;
  std::mutex writeLock_;  // workers spill while the calling thread writes
  TFileReplacer files_;
};

void WritePagesInTurn(const ShowLogContext& ctx, TPageWriter& writer) {
  TPageBuilder builder(ctx);
  std::string page;
  std::unique_ptr<TReplacingFile> pieces;
  int64_t k = 0;
  builder.SetSpill([&](std::string& html) {
    if (!pieces) pieces = writer.OpenPage(k);
    writer.Spill(*pieces, html);
  });
  for (; k <= writer.Last(); ++k) {
    page.clear();
    builder.AppendPageHtml(page, writer.PageMessages(k), k, writer.Last());
    writer.Write(k, page, pieces.get());
    pieces.reset();
  }
}

// What one worker thread builds with: nothing in it is shared. The tokenizer
// and the regular-expression component are copies of the caller's, so no
// pattern is read or compiled again.
struct TPageWorker {
  TPageWorker(const ShowLogContext& ctx)
      : parser(ctx.parser), awk(ctx.awk), builder(ctx, parser, awk, wanted) {}
  TSsParser parser;
  TAWKStr awk;
  TWantedSurfaces wanted;
  TPageBuilder builder;
};

// Messages built ahead of the writer, spread over the window's pages; the
// window holds at least a page per worker and one more.
constexpr int64_t kMessagesAhead = 4000;

void WritePagesOnWorkers(const ShowLogContext& ctx, TPageWriter& writer, std::size_t threads) {
  const int64_t pages = writer.Last() + 1;
  const std::size_t workerCount = static_cast<std::size_t>(std::min<int64_t>(pages, threads));
  std::vector<std::unique_ptr<TPageWorker>> workers;
  for (std::size_t w = 0; w < workerCount; ++w) workers.push_back(std::make_unique<TPageWorker>(ctx));
  const int64_t perPage = EffectivePageSize(ctx.MessagesPerPage);
  const std::size_t window = static_cast<std::size_t>(std::max<int64_t>(
      static_cast<int64_t>(workerCount) + 1,
      std::min<int64_t>(4 * static_cast<int64_t>(workerCount), kMessagesAhead / perPage)));

  TPageSurfaces surfaces(ctx.plugins, ctx.SurfaceCacheDir);
  // Pages written in pieces, by page number modulo the window: a page's
  // entry is taken only once the page that had it before is written. Made
  // before the pipeline, so no worker outlives them; left unwritten, their
  // files go with them.
  std::vector<std::unique_ptr<TReplacingFile>> pieces(window);
  TPagePipeline pipeline(
      workerCount, pages, window,
      [&](std::size_t w, int64_t k, std::string& html, const std::atomic<bool>& stop) {
        TPageWorker& worker = *workers[w];
        std::unique_ptr<TReplacingFile>& file = pieces[static_cast<std::size_t>(k) % window];
        worker.builder.SetSpill([&file, &writer, k](std::string& part) {
          if (!file) file = writer.OpenPage(k);
          writer.Spill(*file, part);
        });
        try {
          worker.builder.AppendPageHtml(html, writer.PageMessages(k), k, writer.Last(), &stop);
        } catch (...) {
          surfaces.Submit(k, worker.wanted.Take(), true);
          throw;
        }
        surfaces.Submit(k, worker.wanted.Take(), false);
      });
  // Leaving early (a failed page or write): no picture of a later page is
  // made while the workers wind down.
  struct StopSurfaces {
    TPageSurfaces& surfaces;
    ~StopSurfaces() { surfaces.Stop(); }
  } stopSurfaces{surfaces};

  for (int64_t k = 0; k < pages; ++k) {
    const TPagePipeline::Built page = pipeline.Take(k);
    // A picture that failed came before any later fault of its page.
    if (const std::exception_ptr error = surfaces.WaitFor(k)) std::rethrow_exception(error);
    if (page.error) std::rethrow_exception(page.error);
    std::unique_ptr<TReplacingFile>& file = pieces[static_cast<std::size_t>(k) % window];
    writer.Write(k, page.html, file.get());
    file.reset();
    surfaces.Allow(k + 1);
  }
}

}  // namespace

bool ShowLog(const std::string& logText, const ShowLogContext& ctx, IHtmlView& view) {
  const std::optional<std::vector<TMessageItem>> parsed = ParseLog(logText);
  if (!parsed) return false;
  const std::vector<TMessageItem>& messages = *parsed;
  if (ctx.OnAccepted) ctx.OnAccepted();
  const std::string folder = ExtractFilePath(ctx.PageFilePrefix);
  const std::string base = ExtractFileName(ctx.PageFilePrefix);
  const TFolderLock lock(ctx.PageFilePrefix + ".lock", ctx.FolderWait);
  RemoveStaleTemporaries(folder, [&base](const std::string& target) { return IsPageFileName(target, base); });

  int64_t last = 0;
  {
    // The writer's last spare file goes with it, before the view moves.
    TPageWriter writer(ctx, messages);
    last = writer.Last();
    const unsigned threads = PageThreads(ctx.Threads);
    if (threads == 1 || last == 0) {
      WritePagesInTurn(ctx, writer);
    } else {
      WritePagesOnWorkers(ctx, writer, threads);
    }
  }
  // Pages of an earlier, longer log would stay reachable from each other
  // and fill the folder run after run; only files named as this program
  // names its pages go, and only regular ones.
  RemoveRegularFiles(folder, [&base, last](const std::string& name) {
    return IsPageFilePast(name, base, last);
  });
  // The view takes "file://" and the plain path, as the pages' own links
  // would name it before percent-encoding.
  view.Navigate("file://" + ctx.PageFilePrefix + "0.html");
  return true;
}

}  // namespace hollowmere
