// Qt's event loop behind the core's main-thread loop.
#include "app/qt/QtMainLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

namespace hollowmere::qt {
namespace {

class NotifierWatch : public IFdWatch {
 public:
  NotifierWatch(int fd, std::function<void()> onReadable)
      : notifier_(new QSocketNotifier(fd, QSocketNotifier::Read)) {
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                     [callback = std::move(onReadable)] {
                       // A copy: the callback may destroy this watch.
                       const std::function<void()> run = callback;
                       run();
                     });
  }
  ~NotifierWatch() override {
    notifier_->setEnabled(false);
    // Later, since the watch may end inside its own notifier's signal.
    notifier_->deleteLater();
  }

 private:
  QSocketNotifier* notifier_;
};

}  // namespace

TQtMainLoop::TQtMainLoop() : context_(new QObject) {}

TQtMainLoop::~TQtMainLoop() { delete context_; }

void TQtMainLoop::Post(std::function<void()> step) {
  QMetaObject::invokeMethod(context_, std::move(step), Qt::QueuedConnection);
}

std::unique_ptr<IFdWatch> TQtMainLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  return std::make_unique<NotifierWatch>(fd, std::move(onReadable));
}

void TQtMainLoop::ServeUntil(const std::function<bool()>& done) {
  // The tick makes the nested loop look at `done` even when nothing happens.
  QTimer tick;
  tick.start(10);
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

bool TQtMainLoop::IsMainThread() const {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace hollowmere::qt
