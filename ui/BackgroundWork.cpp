#include "ui/BackgroundWork.h"

#include <QCoreApplication>
#include <QThread>

namespace velmor::ui {

void OnWindowThread(const std::function<void()>& f) {
  QObject* app = QCoreApplication::instance();
  if (QThread::currentThread() == app->thread()) {
    f();
    return;
  }
  // What f raises goes back to the worker that asked, never into the window's event dispatch.
  std::exception_ptr raised;
  QMetaObject::invokeMethod(
      app,
      [&] {
        try {
          f();
        } catch (...) {
          raised = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (raised) std::rethrow_exception(raised);
}

ProgressRelay::ProgressRelay(QObject* context, Show show) : context_(context), show_(std::move(show)) {}

void ProgressRelay::Report(size_t done, size_t total, const std::string& current) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->done = done;
  state_->total = total;
  state_->current = current;
  if (state_->queued || context_.isNull()) return;
  state_->queued = true;
  // Queued on the context: when it is destroyed before the call runs, the call is dropped.
  QMetaObject::invokeMethod(
      context_.data(),
      [state = state_, show = show_] {
        size_t doneNow = 0, totalNow = 0;
        std::string currentNow;
        {
          std::lock_guard<std::mutex> guard(state->mutex);
          doneNow = state->done;
          totalNow = state->total;
          currentNow = state->current;
          state->queued = false;
        }
        show(doneNow, totalNow, currentNow);
      },
      Qt::QueuedConnection);
}

}  // namespace velmor::ui
