// The main-thread loop of the window: Qt's own event loop. Posted steps are
// queued calls on an object of the main thread, watches are socket notifiers,
// and a wait spins nested event processing, so dialogs, replies and worker
// steps all go on while the main thread waits.
#pragma once

#include <QObject>

#include "platform/MainLoop.h"

namespace hollowmere::qt {

class TQtMainLoop : public IMainLoop {
 public:
  // Made on the main thread, after the QApplication.
  TQtMainLoop();
  ~TQtMainLoop() override;

  void Post(std::function<void()> step) override;
  std::unique_ptr<IFdWatch> WatchReadable(int fd, std::function<void()> onReadable) override;
  void ServeUntil(const std::function<bool()>& done) override;
  bool IsMainThread() const override;

 private:
  // Steps posted to it are dropped (destroyed unrun) when it goes.
  QObject* context_;
};

}  // namespace hollowmere::qt
