// The progress of a running transfer or undo: which file is being copied and how many are done. It only
// reports: it has no cancel button, and neither its title bar nor Escape closes it while the work runs
// (a closed progress would leave the work running unseen). A modal framed box without a title bar, so
// without buttons that could not work: one size for the whole run; a window manager that still
// minimises it (from the keyboard, taking the main window with it) gets both back at once. The work's
// owner destroys it when the work is over.
#pragma once

#include <QProgressDialog>

namespace velmor::ui {

class TransferProgress : public QProgressDialog {
  Q_OBJECT

 public:
  explicit TransferProgress(QWidget* parent);

  // Shows the box at once with a text and a running bar, before the work can count its steps.
  void Prepare(const QString& text);
  // Files done of total, and the one being copied now.
  void Report(size_t done, size_t total, const QString& current);
  // Hides the box when the work is over; the window it belongs to takes the focus back from it.
  void Done();

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velmor::ui
