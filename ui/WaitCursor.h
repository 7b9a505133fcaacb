// The hourglass for a blocking operation: an application-wide override cursor for the lifetime of the
// object, so that every way out of the operation (return, early stop, exception) restores the cursor.
// Nests: each object pushes one override and pops exactly that one.
#pragma once

#include <QApplication>
#include <QCursor>

namespace velmor::ui {

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~WaitCursor() { Restore(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  // Restores the cursor early (e.g. before a modal box); the destructor then does nothing.
  void Restore() {
    if (active_) {
      active_ = false;
      QApplication::restoreOverrideCursor();
    }
  }

 private:
  bool active_ = true;
};

}  // namespace velmor::ui
