// The HTML view's right-click menu: copy the selection, copy the link's
// address (as the page wrote it), select all. Nothing in it navigates.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWebEngineView;

namespace hollowmere::qt {

// `linkText`: the text to copy for a link's URL.
void InstallViewContextMenu(QWebEngineView* view, std::function<QString(const QUrl&)> linkText);

}  // namespace hollowmere::qt
