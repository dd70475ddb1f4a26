// Builds the menu from the engine's last context-menu request.
#include "app/qt/ViewContextMenu.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineView>

#include "app/qt/QtText.h"

namespace hollowmere::qt {

void InstallViewContextMenu(QWebEngineView* view, std::function<QString(const QUrl&)> linkText) {
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(view, &QWidget::customContextMenuRequested, view,
                   [view, linkText = std::move(linkText)](const QPoint& pos) {
                     QWebEngineContextMenuRequest* request = view->lastContextMenuRequest();
                     const bool hasSelection = request != nullptr && !request->selectedText().isEmpty();
                     const QUrl link = request != nullptr ? request->linkUrl() : QUrl();
                     QMenu menu(view);
                     QAction* copy = menu.addAction(J("コピー(&C)"));
                     copy->setEnabled(hasSelection);
                     QAction* copyLink = menu.addAction(J("リンクのアドレスをコピー(&L)"));
                     copyLink->setEnabled(link.isValid() && !link.isEmpty());
                     menu.addSeparator();
                     QAction* selectAll = menu.addAction(J("すべて選択(&A)"));
                     QAction* chosen = menu.exec(view->mapToGlobal(pos));
                     if (chosen == copy) {
                       view->page()->triggerAction(QWebEnginePage::Copy);
                     } else if (chosen == copyLink) {
                       QApplication::clipboard()->setText(linkText(link));
                     } else if (chosen == selectAll) {
                       view->page()->triggerAction(QWebEnginePage::SelectAll);
                     }
                   });
}

}  // namespace hollowmere::qt
