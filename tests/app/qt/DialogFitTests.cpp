// Every control of every dialog shows its whole text with the fonts this
// machine has; run at scale 1 and again at QT_SCALE_FACTOR 1.5. A control
// that had to grow must not come to overlap another or leave its dialog.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QtTest>
#include <memory>

#include "WindowTests.h"
#include "app/MainController.h"
#include "app/qt/ArchiveSearchForm.h"
#include "app/qt/FetchProgress.h"
#include "app/qt/LogDownForm.h"
#include "app/qt/QtDateFormats.h"
#include "app/qt/QtUi.h"
#include "app/qt/SettingForm.h"
#include "text/Encoding.h"

namespace hollowmere::qt::testing {
namespace {

// What the control's text asks for: the whole hint for a label, the width
// and one line for a button or a picker (their frames are the style's).
QSize Needed(const QWidget& w) {
  const int line = w.fontMetrics().height();
  if (const auto* label = qobject_cast<const QLabel*>(&w)) {
    return label->text().isEmpty() ? QSize() : label->sizeHint();
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(&w)) {
    return button->text().isEmpty() ? QSize() : QSize(button->sizeHint().width(), line);
  }
  if (qobject_cast<const QComboBox*>(&w) || qobject_cast<const QAbstractSpinBox*>(&w)) {
    return QSize(w.sizeHint().width(), line);
  }
  return QSize();
}

class DialogFitTests : public QObject {
  Q_OBJECT

 private slots:
  void everyControlShowsItsWholeText() {
    const TQtDateFormats formats{QLocale(QLocale::Japanese, QLocale::Japan)};
    const TLogConditions conditions(TLocalTime{{2004, 7, 15}, {12, 30, 45}});
    struct Dialog {
      const char* name;
      std::unique_ptr<QWidget> widget;
    };
    Dialog dialogs[] = {
        {"settings", std::make_unique<TSettingForm>(nullptr, SettingDialogAcceptsOk)},
        {"log period", std::make_unique<TLogDownForm>(nullptr, conditions, formats)},
        {"fetch progress", std::make_unique<TFetchProgressForm>(nullptr)},
        {"plugin status", std::make_unique<TfrmProgressWindow>(nullptr)},
        {"archive search", std::make_unique<TArchiveSearchForm>(
                               nullptr, TArchiveSearchRequest{}, std::vector<std::string>{text::Sjis("さくら")},
                               std::vector<std::string>{}, formats)},
    };
    for (Dialog& d : dialogs) {
      // A dialog the toolkit lays out is checked at the size it takes, all
      // controls nested in it included; the others as placed by hand.
      const bool laidOut = d.widget->layout() != nullptr;
      if (laidOut) {
        d.widget->show();
        QCoreApplication::processEvents();
      }
      const QRect inside(QPoint(0, 0), d.widget->size());
      std::vector<QWidget*> placed;
      for (QWidget* w : d.widget->findChildren<QWidget*>(laidOut ? Qt::FindChildrenRecursively
                                                                  : Qt::FindDirectChildrenOnly)) {
        if (w->isWindow() || (laidOut && w->isHidden())) continue;
        if (!laidOut) placed.push_back(w);
        const QSize need = Needed(*w);
        if (need.isEmpty()) continue;
        const QString what = QString("%1: %2 \"%3\" is %4x%5, needs %6x%7")
                                 .arg(d.name, w->metaObject()->className(), w->property("text").toString())
                                 .arg(w->width())
                                 .arg(w->height())
                                 .arg(need.width())
                                 .arg(need.height());
        QVERIFY2(w->width() >= need.width() && w->height() >= need.height(), qPrintable(what));
        const QRect inDialog(w->mapTo(d.widget.get(), QPoint(0, 0)), w->size());
        QVERIFY2(inside.contains(inDialog), qPrintable(what + " outside its dialog"));
      }
      for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
          const QString pair = QString("%1: %2 and %3 overlap")
                                   .arg(d.name, placed[i]->property("text").toString(),
                                        placed[j]->property("text").toString());
          QVERIFY2(!placed[i]->geometry().intersects(placed[j]->geometry()), qPrintable(pair));
        }
      }
    }
  }
};

}  // namespace

std::unique_ptr<QObject> MakeDialogFitTests() { return std::make_unique<DialogFitTests>(); }

}  // namespace hollowmere::qt::testing

#include "DialogFitTests.moc"
