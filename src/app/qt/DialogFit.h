// Makes a dialog of fixed design geometry show the whole text of every
// control with the fonts at hand: a control whose text needs more room than
// its design size grows to the right and down, the controls beside it (to
// the right on its row) and below it move along, and the dialog grows by as
// much. A control that fits keeps its design place and size.
#pragma once

#include <QSize>

class QWidget;

namespace hollowmere::qt {

// The room a control's text needs; an empty size for a control without
// text of its own (edits, memos, containers).
QSize TextRoomNeeded(const QWidget& control);

// Call once the dialog's controls are all placed.
void FitDialogToTexts(QWidget& dialog);

}  // namespace hollowmere::qt
