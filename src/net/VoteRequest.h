// The vote and agree requests as the service takes them, and what its reply
// tells the user: the four command lines, the body encoding, and the boxes
// a reply calls for. Also the recovery of a link's message id, which the
// web engine hands back with its capitals lowered (it is the link's host).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace hollowmere {

// Every byte that is a blank or below, above 0x80, or one of # % * + < > [ ]
// becomes "%" and two upper-case hex digits; every other byte stays.
std::string PercentEncode(std::string_view text);

// "Command: voteMessage", "VoteType: " + voteType, "LUID: " + luid, "MID: " + mid.
std::vector<std::string> VoteCommandLines(const std::string& mid, const std::string& voteType,
                                          const std::string& luid);

// One message box a reply calls for, in the order it is to be shown.
struct TReplyNotice {
  bool Beep = false;
  std::string Text;  // CP932
  bool operator==(const TReplyNotice&) const = default;
};

// The boxes for the service's reply to a vote or agree: an error the
// service reports ("Result" is "Err"), then any "ExtraTip". A success
// without a tip needs none.
std::vector<TReplyNotice> VoteReplyNotices(std::string_view reply);

// The message ids the pages of the last shown log carry, to give a clicked
// link back its exact id.
class TShownMessageIds {
 public:
  void Add(const std::string& mid);
  void Clear();
  void Merge(const TShownMessageIds& other);
  std::size_t Size() const { return exact_.size(); }
  // `arrived` itself when a page carries it; else the id a page carries that
  // equals it but for the case of ASCII letters (the first one shown when
  // several do); else `arrived` unchanged.
  std::string Recover(const std::string& arrived) const;

 private:
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> byFolded_;
};

}  // namespace hollowmere
