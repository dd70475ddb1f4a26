// The transfer runs a private curl multi handle around its one easy handle,
// so the thread waits in curl_multi_poll: an abandon wakes it at once, and
// the stall limit is checked to the millisecond between waits.
#include "net/HttpTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>

#include "text/Encoding.h"
#include "text/Visible.h"

namespace hollowmere {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

void InitCurlOnce() {
  // curl_global_init is not safe to race; a function-local static runs it once.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
}

struct EasyCloser {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiCloser {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct ListCloser {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyCloser>;
using Multi = std::unique_ptr<CURLM, MultiCloser>;
using HeaderList = std::unique_ptr<curl_slist, ListCloser>;

// "15", "0.3": seconds as a user reads them.
std::string Seconds(milliseconds ms) {
  const long long whole = ms.count() / 1000;
  const long long tenths = ms.count() % 1000 / 100;
  return std::to_string(whole) + (tenths != 0 ? "." + std::to_string(tenths) : "");
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithHttpScheme(const std::string& s) {
  static const char scheme[] = "http://";
  if (s.size() < sizeof scheme - 1) return false;
  for (std::size_t i = 0; i + 1 < sizeof scheme; ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != scheme[i]) return false;
  }
  return true;
}

}  // namespace

void TTransferControl::Abandon() {
  abandoned_.store(true);
  std::lock_guard lock(mutex_);
  if (multi_ != nullptr) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void TTransferControl::Attach(void* multi) {
  std::lock_guard lock(mutex_);
  multi_ = multi;
}

void TTransferControl::Detach() {
  std::lock_guard lock(mutex_);
  multi_ = nullptr;
}

class TCurlTransfer {
 public:
  TCurlTransfer(const THttpRequest& request, const THttpLimits& limits, TTransferControl& control)
      : request_(request), limits_(limits), control_(control) {}

  std::string Run() {
    InitCurlOnce();
    Easy easy(curl_easy_init());
    Multi multi(curl_multi_init());
    if (!easy || !multi) throw std::bad_alloc();
    easy_ = easy.get();
    HeaderList headers = Configure();
    // Attached before the first wait and detached before the multi handle
    // goes, so Abandon never wakes a handle that is gone.
    control_.Attach(multi.get());
    struct DetachOnExit {
      TTransferControl& c;
      ~DetachOnExit() { c.Detach(); }
    } detach{control_};
    curl_multi_add_handle(multi.get(), easy.get());
    const CURLcode result = Drive(multi.get());
    curl_multi_remove_handle(multi.get(), easy.get());
    Check(result);
    return std::move(body_);
  }

 private:
  HeaderList Configure() {
    CURL* h = easy_;
    url_ = StartsWithHttpScheme(request_.RequestPath) ? request_.RequestPath
                                                      : "http://" + request_.Host + request_.RequestPath;
    curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // No proxy, whatever the environment's proxy variables say.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    // No encoding is asked for ("Accept-Encoding" is never sent) and none
    // is undone: a compressed reply can unpack to a thousand times the
    // bytes that came. A reply encoded anyway is refused at its headers
    // (OnHeader), before curl would undo a compressing Transfer-Encoding;
    // curl's transfer decoding itself stays on, since it is also what
    // reads a chunked reply.
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.ConnectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.MaxBodyBytes));
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &TCurlTransfer::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    // A log reply runs to megabytes: reading it in large pieces costs a
    // fraction of the calls and copies of the 16 KB default.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TCurlTransfer::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);

    curl_slist* list = curl_slist_append(nullptr, "Accept: text/html, */*");
    if (request_.PostData.empty()) {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
      curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    } else {
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, request_.PostData.data());
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request_.PostData.size()));
      curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
      list = curl_slist_append(list, "Connection: keep-alive");
      // The body is raw bytes: an empty header value tells curl to send none.
      list = curl_slist_append(list, "Content-Type:");
    }
    list = curl_slist_append(list, "Expect:");
    if (list == nullptr) throw std::bad_alloc();
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
    return HeaderList(list);
  }

  CURLcode Drive(CURLM* multi) {
    const Clock::time_point start = Clock::now();
    bool sent = false;
    int running = 1;
    for (;;) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) break;
      if (running == 0) break;
      if (control_.Abandoned()) return Fail(EHttpError::Kind::Abandoned);
      const Clock::time_point now = Clock::now();
      // The stall clock starts once the request has gone out; until then
      // the connect limit (curl's own) is the one that applies.
      if (!sent) {
        long requestSize = 0;
        curl_easy_getinfo(easy_, CURLINFO_REQUEST_SIZE, &requestSize);
        if (requestSize > 0 || now - start >= limits_.ConnectTimeout) {
          sent = true;
          lastActivity_ = now;
          // Reply bytes seen before this moment came with the request's
          // going out: they count in the first window.
          windowStart_ = now;
          windowStartBytes_ = 0;
        }
      }
      milliseconds wait{50};
      if (sent) {
        auto windowAge = std::chrono::duration_cast<milliseconds>(now - windowStart_);
        if (windowAge >= limits_.StallTimeout) {
          const uint64_t moved = receivedBytes_ - windowStartBytes_;
          if (moved < limits_.StallMinBytes) {
            if (moved > 0) trickled_ = moved;
            return Fail(EHttpError::Kind::Stalled);
          }
          windowStart_ = now;
          windowStartBytes_ = receivedBytes_;
          windowAge = milliseconds{0};
        }
        const auto idle = std::chrono::duration_cast<milliseconds>(now - lastActivity_);
        if (idle >= limits_.StallTimeout) return Fail(EHttpError::Kind::Stalled);
        wait = std::min({limits_.StallTimeout - idle, limits_.StallTimeout - windowAge, milliseconds{1000}});
      }
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long long>(1, wait.count())),
                      nullptr);
    }
    if (control_.Abandoned()) return Fail(EHttpError::Kind::Abandoned);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE) return msg->data.result;
    }
    return CURLE_RECV_ERROR;
  }

  CURLcode Fail(EHttpError::Kind kind) {
    forced_ = kind;
    return CURLE_ABORTED_BY_CALLBACK;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<TCurlTransfer*>(self);
    const size_t n = size * count;
    t->lastActivity_ = Clock::now();
    t->receivedBytes_ += n;
    // Headers count towards the cap too: a reply made of endless header
    // lines would otherwise never end.
    t->headerBytes_ += n;
    if (t->headerBytes_ > t->limits_.MaxBodyBytes) {
      t->tooLarge_ = true;
      return 0;
    }
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.compare(0, 5, "HTTP/") == 0) {
      t->statusLine_ = std::string(line);
      t->encodingHeader_ = nullptr;
      return n;
    }
    return t->AcceptsEncoding(line) ? n : 0;
  }

  // False for a header line that says the body comes in an encoding the
  // request never asked for: any coding but "chunked" in Transfer-Encoding,
  // any but "identity" in either. A folded line (one that starts with a
  // blank) carries on the header before it.
  bool AcceptsEncoding(std::string_view line) {
    std::string_view value;
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      if (encodingHeader_ == nullptr) return true;
      value = line;
    } else {
      encodingHeader_ = nullptr;
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) return true;
      const std::string_view name = line.substr(0, colon);
      for (const char* known : {"Transfer-Encoding", "Content-Encoding"}) {
        if (EqualsNoCase(name, known)) encodingHeader_ = known;
      }
      if (encodingHeader_ == nullptr) return true;
      value = line.substr(colon + 1);
    }
    const bool transfer = std::string_view(encodingHeader_) == "Transfer-Encoding";
    for (std::size_t from = 0; from <= value.size();) {
      std::size_t comma = value.find(',', from);
      if (comma == std::string_view::npos) comma = value.size();
      std::string_view coding = value.substr(from, comma - from);
      coding = TrimBlanks(coding.substr(0, coding.find(';')));
      from = comma + 1;
      if (coding.empty() || EqualsNoCase(coding, "identity") || (transfer && EqualsNoCase(coding, "chunked"))) {
        continue;
      }
      unaskedEncoding_ = std::string(encodingHeader_) + ": " + std::string(TrimBlanks(value));
      return false;
    }
    return true;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<TCurlTransfer*>(self);
    const size_t n = size * count;
    t->lastActivity_ = Clock::now();
    t->receivedBytes_ += n;
    // A refused reply's body is not wanted: stop reading it at once.
    long code = 0;
    curl_easy_getinfo(t->easy_, CURLINFO_RESPONSE_CODE, &code);
    if (code < 200 || code > 299) {
      t->refusedStatus_ = true;
      return 0;
    }
    if (t->body_.size() + n > t->limits_.MaxBodyBytes) {
      t->tooLarge_ = true;
      return 0;
    }
    if (t->body_.empty()) {
      // Room for the whole announced body at once: growing a log of tens of
      // megabytes step by step copies it again and again into fresh pages.
      curl_off_t announced = -1;
      curl_easy_getinfo(t->easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      if (announced > 0 && static_cast<uint64_t>(announced) <= t->limits_.MaxBodyBytes) {
        t->body_.reserve(static_cast<std::size_t>(announced));
      }
    }
    t->body_.append(data, n);
    t->control_.AddReceived(n);
    return n;
  }

  [[noreturn]] void Throw(EHttpError::Kind kind, const std::string& message) {
    body_.clear();
    body_.shrink_to_fit();
    throw EHttpError(kind, message);
  }

  std::string Detail(CURLcode result) const {
    if (errorBuffer_[0] != '\0') return errorBuffer_;
    return curl_easy_strerror(result);
  }

  std::string TransportFailure(const std::string& why) const {
    return text::Sjis("サーバ ") + request_.Host + text::Sjis(" との通信に失敗しました: ") + why;
  }

  void Check(CURLcode result) {
    using K = EHttpError::Kind;
    const std::string& host = request_.Host;
    if (forced_) {
      switch (*forced_) {
        case K::Abandoned:
          Throw(K::Abandoned, text::Sjis("転送を中止しました"));
        case K::Stalled:
          if (trickled_) {
            Throw(K::Stalled, text::Sjis("サーバ ") + host + text::Sjis(" からの転送が遅すぎます (") +
                                  Seconds(limits_.StallTimeout) + text::Sjis(" 秒間に ") +
                                  std::to_string(*trickled_) + text::Sjis(" バイト)"));
          }
          Throw(K::Stalled, text::Sjis("サーバ ") + host + text::Sjis(" から ") +
                                Seconds(limits_.StallTimeout) + text::Sjis(" 秒間データが届きません"));
        default:
          break;
      }
    }
    long code = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
    // A refused status is what the user needs to hear, whatever else the
    // reply got wrong.
    const bool headersRead = result == CURLE_OK || !unaskedEncoding_.empty();
    if (refusedStatus_ || (headersRead && (code < 200 || code > 299))) {
      Throw(K::Status, statusLine_.empty() ? "HTTP " + std::to_string(code) : statusLine_);
    }
    if (!unaskedEncoding_.empty()) {
      const std::string header = text::CutChars(unaskedEncoding_, 100);
      Throw(K::Transport, TransportFailure(text::Sjis("頼んでいない符号化で送られた応答です (") +
                                           text::VisibleControls(header, text::LineBreaks::Show) + ")"));
    }
    if (tooLarge_ || result == CURLE_FILESIZE_EXCEEDED) {
      Throw(K::TooLarge, text::Sjis("サーバの応答が大きすぎます (") +
                             std::to_string(limits_.MaxBodyBytes) + text::Sjis(" バイトを超えました)"));
    }
    switch (result) {
      case CURLE_OK:
        return;
      case CURLE_COULDNT_RESOLVE_HOST:
        Throw(K::HostNotFound, text::Sjis("ホスト ") + host + text::Sjis(" が見つかりません"));
      case CURLE_COULDNT_CONNECT: {
        long osErrno = 0;
        curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno);
        const std::string why = osErrno != 0 ? std::strerror(static_cast<int>(osErrno)) : Detail(result);
        Throw(K::ConnectFailed, text::Sjis("サーバ ") + host + text::Sjis(" に接続できません: ") + why);
      }
      case CURLE_OPERATION_TIMEDOUT:
        Throw(K::ConnectTimeout, text::Sjis("サーバ ") + host + text::Sjis(" に ") +
                                     Seconds(limits_.ConnectTimeout) +
                                     text::Sjis(" 秒以内に接続できません"));
      case CURLE_OUT_OF_MEMORY:
        // What curl says of a header line beyond its own limit too; "out of
        // memory" alone would send the user looking in the wrong place.
        Throw(K::Transport, TransportFailure(text::Sjis("応答のヘッダ行が長すぎるか、メモリが足りません")));
      default:
        Throw(K::Transport, TransportFailure(Detail(result)));
    }
  }

  const THttpRequest& request_;
  const THttpLimits& limits_;
  TTransferControl& control_;
  CURL* easy_ = nullptr;
  std::string url_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::string statusLine_;
  std::string body_;
  bool refusedStatus_ = false;
  // The encoding header the last header line belonged to (null for any
  // other), and the first header that named an encoding nobody asked for.
  const char* encodingHeader_ = nullptr;
  std::string unaskedEncoding_;
  bool tooLarge_ = false;
  uint64_t headerBytes_ = 0;
  std::optional<EHttpError::Kind> forced_;
  Clock::time_point lastActivity_ = Clock::now();
  // Reply bytes (headers and body) so far, and where the current stall
  // window began; a trickle's count in its last window.
  uint64_t receivedBytes_ = 0;
  Clock::time_point windowStart_ = Clock::now();
  uint64_t windowStartBytes_ = 0;
  std::optional<uint64_t> trickled_;
};

std::string PerformHttpTransfer(const THttpRequest& request, const THttpLimits& limits,
                                TTransferControl& control) {
  return TCurlTransfer(request, limits, control).Run();
}

}  // namespace hollowmere
