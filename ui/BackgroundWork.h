// Long work (a transfer, an undo, a folder size) off the window's thread: the work runs on a thread of
// its own while the window's thread goes on painting and answering the desktop, and the caller gets
// the work's result back as a value once it is over. The window stays modal for the user through the
// modal window the caller shows meanwhile (its progress).
//
// The work must not touch widgets. What it has to show or ask (a question, a message, the tree walked
// to a new folder) it hands to OnWindowThread, which runs it on the window's thread and waits for it;
// its progress goes through a ProgressRelay. An exception that escapes the work never crosses Qt's
// event dispatch: it ends the work, and its text comes back as the result's error.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace velmor::ui {

// Runs f on the window's thread: at once when called there, else queued there and waited for. What f
// raises is raised again in the caller.
void OnWindowThread(const std::function<void()>& f);

template <class Result>
struct BackgroundResult {
  std::optional<Result> Value;  // the work's result; empty when an error ended it or it was cancelled
  std::string Error;            // the text of that error
  bool Cancelled = false;       // the user stopped waiting for it
};

// Runs work on a thread of its own and returns its result once it is over; meanwhile the window's
// thread handles its events. With a progress dialog whose cancel button the user presses, the work is
// told to stop (the flag it gets) and the caller stops waiting at once; work that cannot stop at once
// ends in the background, so it must own everything it uses (capture by value).
template <class Result>
BackgroundResult<Result> RunInBackground(std::function<Result(const std::atomic<bool>& cancel)> work,
                                         QProgressDialog* cancelBy = nullptr) {
  struct Shared {
    std::optional<Result> value;
    std::string error;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    QPointer<QEventLoop> loop;  // read and written on the window's thread only
  };
  auto shared = std::make_shared<Shared>();
  QEventLoop loop;
  shared->loop = &loop;
  QObject* app = QCoreApplication::instance();
  std::thread worker([shared, work = std::move(work), app] {
    try {
      shared->value.emplace(work(shared->cancel));
    } catch (const std::exception& error) {
      shared->error = error.what();
    } catch (...) {
      shared->error = "Unbekannter Fehler";
    }
    shared->finished = true;
    QMetaObject::invokeMethod(
        app,
        [shared] {
          if (shared->loop) shared->loop->quit();
        },
        Qt::QueuedConnection);
  });
  QMetaObject::Connection stop;
  if (cancelBy != nullptr) {
    stop = QObject::connect(cancelBy, &QProgressDialog::canceled, &loop, [&shared, &loop] {
      shared->cancel = true;
      loop.quit();
    });
  }
  // Input stays with the modal windows; painting, the window manager's pings and timers go on.
  loop.exec();
  QObject::disconnect(stop);
  BackgroundResult<Result> result;
  if (!shared->finished && shared->cancel) {
    worker.detach();
    result.Cancelled = true;
    return result;
  }
  worker.join();
  result.Value = std::move(shared->value);
  result.Error = std::move(shared->error);
  result.Cancelled = shared->cancel && !result.Value;
  return result;
}

// Hands a worker's progress to the window's thread without flooding it: the latest report wins and
// at most one is on its way at a time. Reports that arrive after the context object is gone are
// dropped.
class ProgressRelay {
 public:
  using Show = std::function<void(size_t done, size_t total, const std::string& current)>;
  ProgressRelay(QObject* context, Show show);
  // From any thread.
  void Report(size_t done, size_t total, const std::string& current);

 private:
  struct State {
    std::mutex mutex;
    size_t done = 0;
    size_t total = 0;
    std::string current;
    bool queued = false;
  };
  QPointer<QObject> context_;
  Show show_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace velmor::ui
