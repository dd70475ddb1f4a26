// Delivers messages to a ghost on the same desktop: a worker thread that,
// every 100 ms while its queue holds a message, finds a ghost through the FMO
// and sends the queue's head as a "SEND SSTP/1.4" request in a WM_COPYDATA
// message to the ghost's window. The ghost answers to the sender's hidden
// reply window; only an answer beginning "SSTP/1.4 200 OK" removes the head,
// so a message is sent again on every pass until a ghost acknowledges it and
// messages are played strictly in order.
//
// Invariants: the queue is changed only on the main thread (appended by
// Enqueue, its head removed by an acknowledgement) and every access holds the
// lock; the worker never removes anything. The queue refers to records it
// does not own: they must outlive the sender. A seeker error ends only the
// pass it happened in: it is reported once (until a pass succeeds or the
// error changes) and the next pass tries again. Ending the sender cuts a
// send in flight, or a wait for a baseware's lock, short, so the program
// never outlives its window waiting on a ghost; a message not yet
// acknowledged is dropped.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ghost/SakuraSeeker.h"
#include "log/MessageItem.h"
#include "platform/Baseware.h"
#include "platform/MainLoop.h"

namespace hollowmere {

// dwData of an SSTP request sent by WM_COPYDATA.
inline constexpr std::uint32_t kSstpCopyDataId = 9801;
// What an acknowledgement begins with.
inline constexpr std::string_view kSstpOk = "SSTP/1.4 200 OK";

// The request for `message`, every line ended by CR LF and the whole by an
// empty line. `ifGhost`: the target's GhostNames, empty without a target.
std::string MakeSstpRequest(const TMessageItem& message, std::string_view senderName,
                            std::string_view ifGhost, TWindowHandle replyWindow);

// The sender's waits; tests shorten them.
struct TSstpTiming {
  std::chrono::milliseconds Poll{100};
  std::chrono::milliseconds SendTimeout{50000};
  std::chrono::milliseconds MutexWait{TSakuraSeeker::kMutexWait};
};

class TDirectSSTP {
 public:
  struct TParts {
    IMainLoop& Loop;
    TBaseware Baseware;
    // Main thread: the main window's FMO names, copied before every send.
    std::function<std::vector<std::string>()> FmoNames;
    // Main thread: shows a seeker error's text to the user.
    std::function<void(const std::string& text)> ShowError;
  };

  // Main thread. Makes the reply window and the seeker, copies the FMO names
  // and starts the worker. Raises EWindowError when the reply window cannot
  // be made.
  explicit TDirectSSTP(TParts parts, TSstpTiming timing = {});
  // Main thread. Sets the stop flag, abandons a send in flight and waits for
  // the worker's current pass, serving the main loop meanwhile (the worker's
  // main-thread steps and incoming answers), then frees the seeker, the
  // queue and the window.
  ~TDirectSSTP();
  TDirectSSTP(const TDirectSSTP&) = delete;
  TDirectSSTP& operator=(const TDirectSSTP&) = delete;

  // Main thread (from elsewhere it waits for the main thread). Appends the
  // record to the queue and returns; nothing is sent here.
  void Enqueue(const TMessageItem& message);

  // The third part of the "Sender" header.
  void SetSenderName(std::string name);
  std::string SenderName() const;
  // Main thread: called with the "name" of the ghost whose window was last
  // sent the message, each time an acknowledgement removes the head.
  void SetOnAcknowledged(std::function<void(const std::string& ghostName)> handler);
  // The text of the last answer the reply window received.
  std::string LastReply() const;
  std::size_t QueueLength() const;
  TWindowHandle ReplyWindow() const { return replyHandle_; }

 private:
  void Execute();
  void Pass();
  void CopyFmoNames();
  std::uint32_t ReplyWindowProc(const TCopyData& message);
  void ReportError(const std::string& text);

  TParts parts_;
  const TSstpTiming timing_;
  std::unique_ptr<TSakuraSeeker> seeker_;
  std::unique_ptr<ICopyDataWindow> replyWindow_;
  TWindowHandle replyHandle_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  // Requested with stop_: ends a send that waits on a ghost.
  std::stop_source sendStop_;
  std::deque<const TMessageItem*> queue_;
  std::string lastReply_;
  std::string senderName_;
  // The ghost the head was last sent to, for the acknowledgement's report.
  std::string lastTargetName_;
  std::function<void(const std::string&)> onAcknowledged_;

  // Worker only: the error last reported, until a pass gets past Detect.
  std::string reportedError_;
  std::atomic<bool> finished_{false};
  // Last, so it starts once everything above exists.
  std::thread worker_;
};

}  // namespace hollowmere
