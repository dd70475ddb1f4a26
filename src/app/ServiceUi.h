// What the main window's logic needs to talk to the Voyla service: the log
// download dialog, the window that shows a fetch under way (and lets the
// user abandon it), the clock and date formats the conditions are read in,
// and where the service is. The Qt window implements the dialogs; tests
// answer them with doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpTransfer.h"
#include "net/LogConditions.h"
#include "platform/Clock.h"
#include "platform/DateFormats.h"

namespace hollowmere {

// The log download dialog "条件指定".
class ILogDownDialog {
 public:
  virtual ~ILogDownDialog() = default;
  // Shows the dialog modally on `conditions`. True when it closed with OK;
  // `conditions` then holds what its controls showed.
  virtual bool Execute(TLogConditions& conditions) = 0;
};

// Shown while a log is fetched; the window stays responsive meanwhile.
class IFetchProgress {
 public:
  virtual ~IFetchProgress() = default;
  // `onAbandon` runs (on the main thread) when the user asks to abandon.
  virtual void Show(std::function<void()> onAbandon) = 0;
  virtual void ShowBytes(uint64_t received) = 0;
  virtual void Close() = 0;
};

class IFetchProgressWindows {
 public:
  virtual ~IFetchProgressWindows() = default;
  virtual std::unique_ptr<IFetchProgress> Create() = 0;
};

struct TServiceParts {
  ILogDownDialog& LogDownDialog;
  IFetchProgressWindows& FetchProgress;
  const IClock& Clock;
  const IDateFormats& DateFormats;
  // "host" or "host:port" (net/ServiceHost.h).
  std::string Host;
  THttpLimits Limits;
  // Nobody sees the status bar (no display): what the service said instead
  // of a log goes to the boxes, that is standard error.
  bool StatusUnseen = false;
};

}  // namespace hollowmere
