#include "ui/TransferProgress.h"

#include <QCloseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "ui/ElidedPathLabel.h"
#include "ui/MessageService.h"

namespace velmor::ui {

TransferProgress::TransferProgress(QWidget* parent) : QProgressDialog(parent) {
  setObjectName(QStringLiteral("TransferProgress"));
  if (parent != nullptr) setWindowTitle(parent->window()->windowTitle());
  // No title bar: its buttons would offer what the box cannot do. Window managers that ignore the hint
  // to leave out single buttons (openbox draws minimise, maximise and close on any title bar) leave out
  // the whole bar; the box draws its own frame.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
  setCancelButton(nullptr);
  // One width for the whole run: a long file name is drawn shortened instead of widening the box.
  setLabel(new ElidedPathLabel(QString(), this));
  setFixedSize(qRound(460 * logicalDpiX() / 96.0), sizeHint().height());
  setWindowModality(Qt::WindowModal);
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
  MarkAsReportWindow(this);
}

void TransferProgress::Prepare(const QString& text) {
  setLabelText(text);
  setRange(0, 0);
  show();
}

void TransferProgress::Report(size_t done, size_t total, const QString& current) {
  setRange(0, static_cast<int>(std::max<size_t>(total, 1)));
  setLabelText(QString::fromUtf8("Kopiere %1").arg(current));
  setValue(static_cast<int>(std::min(done, total)));
}

void TransferProgress::Done() {
  const bool active = isActiveWindow();
  hide();
  if (active && parentWidget() != nullptr) parentWidget()->window()->activateWindow();
}

void TransferProgress::reject() {
  // Escape: the transfer goes on, so does its progress.
}

void TransferProgress::closeEvent(QCloseEvent* event) {
  event->ignore();
}

void TransferProgress::paintEvent(QPaintEvent* event) {
  QProgressDialog::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TransferProgress::changeEvent(QEvent* event) {
  QProgressDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  QTimer::singleShot(0, this, [this] {
    if (parentWidget() != nullptr) {
      QWidget* owner = parentWidget()->window();
      owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
  });
}

}  // namespace velmor::ui
