// The list of window test classes and the modal-dialog helper.
#include "WindowTests.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace hollowmere::qt::testing {

const std::vector<WindowTestClass>& WindowTestClasses() {
  static const std::vector<WindowTestClass> classes{
      {"DialogTests", MakeDialogTests},
      {"MainFormTests", MakeMainFormTests},
      {"ServiceWindowTests", MakeServiceWindowTests},
      {"BatchTests", MakeBatchTests},
      {"DialogFitTests", MakeDialogFitTests},
      {"ViewPartsTests", MakeViewPartsTests},
  };
  return classes;
}

void WhenModalShows(std::function<void(QWidget* dialog)> action) {
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, qApp, [timer, tries, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 500) return;
    timer->stop();
    timer->deleteLater();
    if (modal != nullptr) action(modal);
  });
  timer->start(10);
}

}  // namespace hollowmere::qt::testing
