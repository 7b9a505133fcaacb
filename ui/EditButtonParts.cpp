#include "ui/EditButtonParts.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <cstring>

namespace velmor::ui {

QPixmap GlyphFromRows(std::span<const char* const> rows) {
  const int height = static_cast<int>(rows.size());
  const int width = height > 0 ? static_cast<int>(std::strlen(rows[0])) : 0;
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      QColor colour(255, 0, 255);
      switch (rows[static_cast<size_t>(y)][x]) {
        case 'k':
          colour = QColor(0, 0, 0);
          break;
        case 'y':
          colour = QColor(128, 128, 0);
          break;
        case 'l':
          colour = QColor(255, 255, 0);
          break;
        case 'a':
          colour = QColor(0, 0, 128);
          break;
        default:
          break;
      }
      image.setPixelColor(x, y, colour);
    }
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  if (height > 0)
    pixmap.setMask(pixmap.createMaskFromColor(image.pixelColor(0, height - 1), Qt::MaskInColor));
  return pixmap;
}

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
