// The progress of a running transfer: which file is being copied and how many are done. It only
// reports: it has no cancel button, and neither its title bar nor Escape closes it while the transfer
// runs (a closed progress would leave the work running unseen). The transfer's owner destroys it when
// the work is over.
#pragma once

#include <QProgressDialog>

namespace velmor::ui {

class TransferProgress : public QProgressDialog {
  Q_OBJECT

 public:
  explicit TransferProgress(QWidget* parent);

  // Files done of total, and the one being copied now.
  void Report(size_t done, size_t total, const QString& current);

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace velmor::ui
