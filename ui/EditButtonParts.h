// Pieces shared by the two single-line edits with a button inside their right end (TQxEditBtn and
// TCustomComboEdit): their folder pictures, the cut and paste gate, and the context menu.
#pragma once

#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <span>

namespace velmor::ui {

// A small picture drawn from rows of letters, one letter a pixel: 'k' black outline, 'y' olive body,
// 'l' yellow lit flap, 'a' navy arrow; any other letter is magenta. The colour of the lower-left pixel
// is drawn transparent (magenta in every picture of the program).
QPixmap GlyphFromRows(std::span<const char* const> rows);

// Whether a key press asks the edit to cut or to paste.
bool IsCutOrPaste(const QKeyEvent* event);

// Shows the edit's standard context menu at a screen point (does not block); Cut and Paste are
// offered only while allowed.
void PopupEditMenu(QLineEdit* edit, const QPoint& globalPos, bool cutPasteAllowed);

}  // namespace velmor::ui
