// The Voyla service as the stand-in plays it, without the HTTP transport:
// a saved log moved in time so that its newest message is "now", answered
// by the log script's two queries, and a vote script that counts votes and
// agrees (each LUID once per message and kind) into the counts later
// fetches show. Every text is CP932, every line ends in CR LF.
//
//   GET  /fetchlog.cgi?recent=N                     the last N minutes
//   GET  /fetchlog.cgi?year_lo=&month_lo=&day_lo=&year_hi=&month_hi=&day_hi=
//                                                   whole days, both ends included
//   POST /voyla2.cgi   body: percent-encoded "Key: value" lines
//                      (Command: voteMessage, VoteType: Vote|Agree, LUID, MID)
//
// A log is "Result: OK", two more lines, then the messages; a request the
// service cannot answer gets "Result: Err" and an "ExtraMessage".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace hollowmere::standin {

// A reply's text is shared, not copied: a log is tens of megabytes, and
// the same log goes to every client that asks for the same period.
struct TReply {
  TReply(int status, std::string body)
      : Status(status), Body(std::make_shared<const std::string>(std::move(body))) {}
  TReply(int status, std::shared_ptr<const std::string> body) : Status(status), Body(std::move(body)) {}
  int Status;
  std::shared_ptr<const std::string> Body;
  const std::string& Text() const { return *Body; }
};

class EStandinLog : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TVoylaService {
 public:
  static constexpr std::size_t kMaxLuidBytes = 64;

  // `log`: the saved log's bytes. Throws EStandinLog when it is not a log.
  TVoylaService(std::string_view log, const TLocalTime& now);

  // Thread-safe: the HTTP server calls it from its worker threads.
  TReply Handle(const std::string& method, const std::string& target, const std::string& body);

  std::size_t MessageCount() const { return messages_.size(); }
  // The newest message's moved time stamp.
  TLocalTime Newest() const;

 private:
  struct Message {
    int64_t Stamp;  // wall seconds, moved
    // The line's fixed parts around the two counts: the moved stamp to the
    // connection, each field followed by a TAB; then TAB, script, CR LF.
    std::string Head;
    std::string Tail;
    std::string Mid;
    std::string Channel;
    std::string Ghost;
    std::string Connection;
    std::string Votes;
    std::string Agrees;
    std::string Script;
    // LUIDs of at most kMaxLuidBytes, so what a vote leaves behind does not
    // grow with its request.
    std::set<std::string> Voters;
    std::set<std::string> Agreers;
  };

  TReply FetchLog(const std::map<std::string, std::string>& query);
  TReply Vote(const std::string& body);
  std::string LogText(int64_t from, int64_t to, const std::string& heading) const;
  // The log of one period, built again only after a vote or for another
  // period; one is kept, so the cache cannot grow.
  std::shared_ptr<const std::string> CachedLog(int64_t from, int64_t to, const std::string& heading);

  std::vector<Message> messages_;
  std::map<std::string, std::size_t> byMid_;
  int64_t now_;
  std::mutex mutex_;
  int64_t cachedFrom_ = 0;
  int64_t cachedTo_ = -1;
  std::shared_ptr<const std::string> cachedLog_;
};

// "%41" -> "A"; a "%" that starts no escape stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace hollowmere::standin
