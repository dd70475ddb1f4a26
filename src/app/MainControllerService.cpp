// The main window's dealings with the Voyla service: the log download menu
// item, the command line, and the vote and agree requests with the boxes
// their replies call for.
#include <utility>

#include "app/MainController.h"
#include "net/HttpThread.h"
#include "net/LogRefusal.h"
#include "net/ServiceHost.h"
#include "net/VoteRequest.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {

void TMainController::LogShowMenuClick() {
  plugins_.LoadFolder(settings_.SppDir);
  TLogConditions conditions(ui_.Service.Clock.Now());
  if (!ui_.Service.LogDownDialog.Execute(conditions)) return;
  // A failed fetch has been shown; its empty text is refused by ShowLog in a box of its own.
  ShowFetchedLog(FetchLog(conditions).value_or(std::string()));
}

bool TMainController::ShowFetchedLog(const std::string& reply) {
  if (ShowLogText(reply)) return true;
  // The window stays as it was; the user still learns why.
  const std::string notice = RefusedLogNotice(reply);
  if (ui_.Service.StatusUnseen) {
    ui_.Boxes.ShowMessage(notice);
  } else {
    ui_.Window.SetStatusText(notice);
  }
  return false;
}

std::optional<std::string> TMainController::FetchLog(const TLogConditions& conditions) {
  const TServiceParts& service = ui_.Service;
  const std::string url = conditions.RequestUrl(ServiceAddress(service.Host), service.Clock.Now());
  THTTPDownloadThread worker(ui_.Loop, service.Host, url, std::string(), service.Limits);
  bool ok = false;
  worker.OnComplete = [&ok](THTTPDownloadThread&) { ok = true; };
  const std::unique_ptr<IFetchProgress> progress = service.FetchProgress.Create();
  progress->Show([&worker] { worker.Abandon(false); });
  worker.Start();
  uint64_t shownBytes = 0;
  // The window goes on meanwhile; the bytes so far are shown as they come.
  ui_.Loop.ServeUntil([&] {
    const uint64_t received = worker.BytesReceived();
    if (received != shownBytes) {
      shownBytes = received;
      progress->ShowBytes(received);
    }
    return worker.Finished();
  });
  progress->Close();
  if (!ok) {
    if (!worker.ErrorMessage.empty()) ui_.Boxes.ShowMessage(worker.ErrorMessage);
    return std::nullopt;
  }
  return std::move(worker.ResponseText);
}

TCommandLineRun TMainController::ProcessCommandLine(const std::vector<std::string>& args) {
  const TParsedCommandLine parsed = ParseCommandLine(args, ui_.Service.Clock.Now(), ui_.Service.DateFormats);
  if (!parsed.Command) {
    ui_.Boxes.ShowMessage(text::Sjis("パラメータが不正です"));
    return {TCommandLineResult::BadParameters, parsed.Refusal, false, 0, 0, std::string()};
  }
  const TCommandLine& command = *parsed.Command;
  // The plugins of the folder setting, as the two log menu items load them:
  // a batch run's pages get their pictures too.
  Guarded([&] { plugins_.LoadFolder(settings_.SppDir); });
  TCommandLineRun run{TCommandLineResult::FetchFailed, std::nullopt, command.NoView, 0, command.MessagesPerPage,
                      "file://" + PageFilePrefix() + "0.html"};
  {
    // The page size of the command line is for this run only, never saved,
    // even when the fetch ends in an error.
    const int32_t savedPerPage = settings_.MessagesPerPage;
    settings_.MessagesPerPage = command.MessagesPerPage;
    struct PutBack {
      int32_t& setting;
      int32_t saved;
      ~PutBack() { setting = saved; }
    } putBack{settings_.MessagesPerPage, savedPerPage};
    const std::optional<std::string> log = FetchLog(command.Conditions);
    if (log) run.Result = TCommandLineResult::LogNotShown;
    Guarded([&] {
      if (ShowFetchedLog(log.value_or(std::string()))) run.Result = TCommandLineResult::PagesWritten;
    });
  }
  if (run.Result == TCommandLineResult::PagesWritten) run.Messages = shownMessages_;
  if (command.NoView) ui_.Window.RequestClose();
  return run;
}

void TMainController::VoteLinkClicked(const std::string& url, std::string_view prefix,
                                      const char* voteType, const std::string& statusText) {
  // A page's link is the prefix and the MID; the view adds a "/" after it
  // and lowers its capitals, which the pages' own MIDs give back.
  const std::string arrived = text::ReplaceFirst(text::ReplaceFirst(url, prefix, ""), "/", "");
  const std::string mid = shownMids_->Recover(arrived);
  const std::string refusal = SendVote(mid, voteType);
  if (!refusal.empty()) {
    ui_.Boxes.ShowMessage(refusal);
    return;
  }
  ShowStatus(statusText + mid);
  ui_.Boxes.Beep();
}

std::string TMainController::SendVote(const std::string& mid, const std::string& voteType) {
  if (settings_.Luid.empty()) return text::Sjis("LUID設定しない人嫌いです");
  PostServerCommand(VoteCommandLines(mid, voteType, settings_.Luid));
  return std::string();
}

void TMainController::PostServerCommand(const std::vector<std::string>& lines) {
  try {
    auto worker = std::make_unique<THTTPDownloadThread>(ui_.Loop, ui_.Service.Host, "/voyla2.cgi",
                                                        PercentEncode(text::JoinCrlf(lines)),
                                                        ui_.Service.Limits);
    worker->OnComplete = [this](THTTPDownloadThread& w) { Guarded([&] { VoteReplyReceived(w); }); };
    worker->OnError = [this](THTTPDownloadThread& w) { Guarded([&] { VoteTransferFailed(w); }); };
    voteWorkers_->Start(std::move(worker));
  } catch (const std::bad_alloc&) {
    // Out of memory or threads: the request is dropped without a word.
  } catch (const std::system_error&) {
  }
}

std::size_t TMainController::TransfersUnderWay() const { return voteWorkers_->Live(); }

void TMainController::VoteReplyReceived(THTTPDownloadThread& worker) {
  std::vector<TReplyNotice> notices;
  try {
    notices = VoteReplyNotices(worker.ResponseText);
  } catch (const std::exception&) {
    ui_.Boxes.Beep();
    ui_.Boxes.ShowMessage(text::Sjis("SSTP Voylaサーバが解析できないエラーを返しました。"));
    return;
  }
  for (const TReplyNotice& notice : notices) {
    if (notice.Beep) ui_.Boxes.Beep();
    ui_.Boxes.ShowMessage(notice.Text);
  }
}

void TMainController::VoteTransferFailed(THTTPDownloadThread& worker) {
  static const std::string failed = text::Sjis("SSTP Voylaサーバとの接続に失敗しました");
  ui_.Boxes.Beep();
  ui_.Boxes.Beep();
  ui_.Boxes.ShowMessage(failed);
  ui_.Boxes.ShowMessage(failed + "\r\n" + worker.ErrorMessage);
}

}  // namespace hollowmere
