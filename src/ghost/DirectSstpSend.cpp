// The SSTP sender's worker passes, its reply window and its request text.
#include "ghost/DirectSstpSend.h"

#include "platform/DebugTrace.h"

namespace hollowmere {

std::string MakeSstpRequest(const TMessageItem& message, std::string_view senderName,
                            std::string_view ifGhost, TWindowHandle replyWindow) {
  std::string request;
  request.reserve(160 + message.Script.size() + 2 * message.GhostName.size() + ifGhost.size());
  request += "SEND SSTP/1.4\r\n";
  request += "Charset: Shift_JIS\r\n";
  // Two spaces after the colon, as ghosts have always been sent it.
  request += "Sender:  ";
  request += message.GhostName;
  request += '/';
  request += message.HeaderValue("Channel");
  request += '/';
  request += senderName;
  request += "\r\n";
  request += "IfGhost: ";
  request += ifGhost;
  request += "\r\n";
  request += "Script: ";
  request += message.Script;
  request += "\r\n";
  request += "HWnd: " + std::to_string(replyWindow) + "\r\n";
  request += "X-Voyla-IfGhost: ";
  request += message.GhostName;
  request += "\r\n\r\n";
  return request;
}

TDirectSSTP::TDirectSSTP(TParts parts, TSstpTiming timing)
    : parts_(std::move(parts)),
      timing_(timing),
      seeker_(std::make_unique<TSakuraSeeker>(parts_.Baseware.Fmo, timing.MutexWait)) {
  replyWindow_ = parts_.Baseware.Windows.CreateWindow(
      [this](const TCopyData& message) { return ReplyWindowProc(message); });
  replyHandle_ = replyWindow_->Handle();
  CopyFmoNames();
  worker_ = std::thread([this] { Execute(); });
}

TDirectSSTP::~TDirectSSTP() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  sendStop_.request_stop();
  wake_.notify_all();
  parts_.Loop.ServeUntil([this] { return finished_.load(); });
  worker_.join();
  seeker_.reset();
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  replyWindow_.reset();
}

void TDirectSSTP::Enqueue(const TMessageItem& message) {
  RunOnMainThreadAndWait(parts_.Loop, [this, &message] {
    std::lock_guard lock(mutex_);
    queue_.push_back(&message);
  });
}

void TDirectSSTP::SetSenderName(std::string name) {
  std::lock_guard lock(mutex_);
  senderName_ = std::move(name);
}

std::string TDirectSSTP::SenderName() const {
  std::lock_guard lock(mutex_);
  return senderName_;
}

void TDirectSSTP::SetOnAcknowledged(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(mutex_);
  onAcknowledged_ = std::move(handler);
}

std::string TDirectSSTP::LastReply() const {
  std::lock_guard lock(mutex_);
  return lastReply_;
}

std::size_t TDirectSSTP::QueueLength() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void TDirectSSTP::CopyFmoNames() {
  seeker_->SetFileMappingTarget(parts_.FmoNames ? parts_.FmoNames() : std::vector<std::string>{});
}

void TDirectSSTP::Execute() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      // The poll's sleep, cut short only by the stop flag.
      wake_.wait_for(lock, timing_.Poll, [this] { return stop_; });
      if (stop_) break;
      if (queue_.empty()) continue;
    }
    try {
      Pass();
    } catch (const std::exception& e) {
      // Nothing may end the worker early: the queue would never move again.
      ReportError(e.what());
    }
  }
  finished_ = true;
  // Wakes the destructor's wait now rather than at its next look.
  parts_.Loop.Post([] {});
}

void TDirectSSTP::Pass() {
  // The settings dialog's FMO names apply from this pass on. A loop that
  // drops the step is ending, and so is this pass.
  if (!RunOnMainThreadAndWait(parts_.Loop, [this] { CopyFmoNames(); })) return;
  const TMessageItem* head = nullptr;
  std::string senderName;
  {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return;
    head = queue_.front();
    senderName = senderName_;
  }
  try {
    // A baseware that holds its lock cannot hold up the end either.
    seeker_->Detect(sendStop_.get_token());
  } catch (const ESakuraSeekerError& e) {
    if (!sendStop_.stop_requested()) ReportError(e.what());
    return;
  }
  reportedError_.clear();

  TSakuraProcess* target = seeker_->FindByName(head->GhostName);
  if (target == nullptr && seeker_->Count() > 0) target = &seeker_->Processes(0);
  const std::string ifGhost = target != nullptr ? target->GhostNames() : std::string();
  const TWindowHandle window = target != nullptr ? target->HWnd() : 0;
  if (window == 0) return;
  {
    std::lock_guard lock(mutex_);
    lastTargetName_ = target->Name();
  }
  TCopyData message;
  message.Sender = static_cast<std::uint32_t>(replyHandle_);
  message.DwData = kSstpCopyDataId;
  message.Bytes = MakeSstpRequest(*head, senderName, ifGhost, replyHandle_);
  // Whatever the outcome, the head stays until an acknowledgement arrives.
  parts_.Baseware.Windows.SendCopyData(window, message, timing_.SendTimeout, sendStop_.get_token());
}

void TDirectSSTP::ReportError(const std::string& text) {
  if (text == reportedError_) return;
  reportedError_ = text;
  DebugTrace("SSTP sender: " + text);
  RunOnMainThreadAndWait(parts_.Loop, [this, &text] {
    if (parts_.ShowError) parts_.ShowError(text);
  });
}

std::uint32_t TDirectSSTP::ReplyWindowProc(const TCopyData& message) {
  const std::size_t nul = message.Bytes.find('\0');
  std::string reply = message.Bytes.substr(0, nul);
  std::function<void(const std::string&)> report;
  std::string ghost;
  {
    std::lock_guard lock(mutex_);
    lastReply_ = std::move(reply);
    if (lastReply_.compare(0, kSstpOk.size(), kSstpOk) != 0 || queue_.empty()) return 0;
    queue_.pop_front();
    report = onAcknowledged_;
    ghost = lastTargetName_;
  }
  // Outside the lock: the handler may look at the queue.
  if (report) report(ghost);
  return 0;
}

}  // namespace hollowmere
