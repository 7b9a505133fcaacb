#include "ui/TransferProgress.h"

#include <QCloseEvent>
#include <algorithm>

#include "ui/ElidedPathLabel.h"
#include "ui/MessageService.h"

namespace velmor::ui {

TransferProgress::TransferProgress(QWidget* parent) : QProgressDialog(parent) {
  setObjectName(QStringLiteral("TransferProgress"));
  if (parent != nullptr) setWindowTitle(parent->window()->windowTitle());
  // A title bar and nothing else: no close, no minimise (which would take the main window with it),
  // no maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setCancelButton(nullptr);
  // One width for the whole run: a long file name is drawn shortened instead of widening the box.
  setLabel(new ElidedPathLabel(QString(), this));
  setFixedWidth(qRound(460 * logicalDpiX() / 96.0));
  setWindowModality(Qt::WindowModal);
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
  MarkAsReportWindow(this);
}

void TransferProgress::Report(size_t done, size_t total, const QString& current) {
  setMaximum(static_cast<int>(std::max<size_t>(total, 1)));
  setLabelText(QString::fromUtf8("Kopiere %1").arg(current));
  setValue(static_cast<int>(std::min(done, total)));
}

void TransferProgress::reject() {
  // Escape: the transfer goes on, so does its progress.
}

void TransferProgress::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace velmor::ui
