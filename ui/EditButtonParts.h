// Pieces shared by the two single-line edits with a button inside their right end (TQxEditBtn and
// TCustomComboEdit): the cut and paste gate and the context menu.
#pragma once

#include <QKeyEvent>
#include <QLineEdit>

namespace velmor::ui {

// Whether a key press asks the edit to cut or to paste.
bool IsCutOrPaste(const QKeyEvent* event);

// Shows the edit's standard context menu at a screen point (does not block); Cut and Paste are
// offered only while allowed.
void PopupEditMenu(QLineEdit* edit, const QPoint& globalPos, bool cutPasteAllowed);

}  // namespace velmor::ui
