#include "ui/EditButtonParts.h"

#include <QAction>
#include <QMenu>

namespace velmor::ui {

bool IsCutOrPaste(const QKeyEvent* event) {
  return event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste);
}

void PopupEditMenu(QLineEdit* edit, const QPoint& globalPos, bool cutPasteAllowed) {
  QMenu* menu = edit->createStandardContextMenu();
  if (!cutPasteAllowed) {
    for (QAction* action : menu->actions()) {
      if (action->objectName() == "edit-cut" || action->objectName() == "edit-paste")
        action->setEnabled(false);
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(globalPos);
}

}  // namespace velmor::ui
