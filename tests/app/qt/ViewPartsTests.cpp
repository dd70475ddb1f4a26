// The view's small parts on their own: zoom steps and the status panel's
// hovered link.
#include <QtTest>

#include "WindowTests.h"
#include "app/qt/StatusPanel.h"
#include "app/qt/ViewZoom.h"

namespace hollowmere::qt::testing {
namespace {

class ViewPartsTests : public QObject {
  Q_OBJECT

 private slots:
  void zoomStepsUpAndDownWithinTheRange() {
    const struct {
      int32_t from;
      bool up;
      int32_t to;
    } cases[] = {{100, true, 110}, {100, false, 90}, {104, true, 110}, {104, false, 100},
                 {25, false, 25},  {500, true, 500}, {10, true, 25},   {900, false, 500},
                 {24, false, 25},  {33, true, 50}};
    for (const auto& c : cases) {
      QCOMPARE(NextZoomStep(c.from, c.up), c.to);
    }
  }

  void aHoveredLinkCoversTheStatusUntilThePointerLeaves() {
    TStatusPanel panel(nullptr);
    const struct {
      const char* status;  // nullptr: none set at this step
      const char* link;    // nullptr: no hover change
      const char* shown;
    } steps[] = {{"ready", nullptr, "ready"},
                 {nullptr, "http://x/", "http://x/"},
                 {"voted", nullptr, "http://x/"},
                 {nullptr, "http://y/", "http://y/"},
                 {nullptr, "", "voted"},
                 {"done", nullptr, "done"}};
    for (const auto& step : steps) {
      if (step.status) panel.SetStatus(step.status);
      if (step.link) panel.ShowLink(step.link);
      QCOMPARE(panel.text(), QString(step.shown));
    }
  }
};

}  // namespace

std::unique_ptr<QObject> MakeViewPartsTests() { return std::make_unique<ViewPartsTests>(); }

}  // namespace hollowmere::qt::testing

#include "ViewPartsTests.moc"
