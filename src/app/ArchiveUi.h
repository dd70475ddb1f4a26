// What the archive's window parts ask of the toolkit: the search dialog and
// the count of matching messages it shows while the user types. The Qt
// window implements the dialog; tests answer it with doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace hollowmere {

// What the search dialog holds.
struct TArchiveSearchRequest {
  std::string QueryUtf8;  // the search language of archive/SearchQuery.h
  std::string Ghost;      // CP932; empty: any ghost
  std::string Channel;    // CP932; empty: any channel
  bool UsePeriod = false;
  TCivilDate From;  // both days included
  TCivilDate To;
  bool operator==(const TArchiveSearchRequest&) const = default;
};

// The answer to one request: the number of matching messages, or why the
// request cannot be searched (CP932).
struct TArchiveCount {
  std::optional<uint64_t> Count;
  std::string Problem;
};

// Asked by the dialog whenever its request changes; the answer arrives later
// on the main thread, only for the newest request.
using TArchiveCountAsk = std::function<void(const TArchiveSearchRequest&)>;

class IArchiveSearchDialog {
 public:
  virtual ~IArchiveSearchDialog() = default;
  // Shows the dialog modally on `request`, its choosers filled with `ghosts`
  // and `channels` (CP932). While it is open, `ask` is called with every
  // new request and `ShowCount` receives the answers. True when it closed
  // with OK; `request` then holds what the controls showed.
  virtual bool Execute(TArchiveSearchRequest& request, const std::vector<std::string>& ghosts,
                       const std::vector<std::string>& channels, const TArchiveCountAsk& ask) = 0;
  // The count of the newest request, while the dialog is open.
  virtual void ShowCount(const TArchiveCount& count) = 0;
};

}  // namespace hollowmere
