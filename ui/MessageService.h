// Every modal box of the window goes through this interface, so widget tests answer boxes instead of
// blocking on them. The window installs a QtMessageService; tests install a scripted one.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace velmor::ui {

class IMessageService {
 public:
  // The typed boxes of the folder tree: the kind gives caption and icon.
  enum class Kind {
    Warning,
    Error,
    Information,
    Confirmation
  };  // "Warnung", "Fehler", "Information", "Bestätigung"

  virtual ~IMessageService() = default;
  // A typed box with the given buttons; returns the button pressed (QMessageBox::Cancel or the
  // escape button when closed).
  virtual QMessageBox::StandardButton TypedBox(Kind kind, const QString& text,
                                               QMessageBox::StandardButtons buttons) = 0;
  // A plain box: the text, one "OK", no icon, the application title as caption.
  virtual void PlainBox(const QString& text) = 0;
  // The toolkit's error box for an error that escaped a handler: error icon, application title.
  virtual void ErrorBox(const QString& text) = 0;
  // The box after a run in which something failed: error icon, the application title as caption,
  // the text above a scrollable list of the lines, "OK" and the caller's further buttons after it.
  // Returns the index of the further button pressed, or -1 for "OK" and for closing the box.
  virtual int ErrorListBox(const QString& text, const QStringList& lines, const QStringList& buttons) = 0;
  // The error sound.
  virtual void Beep() = 0;
};

// The caption of a typed box.
QString CaptionOf(IMessageService::Kind kind);

// The service the widgets use: the installed one, else the real Qt boxes.
IMessageService& Messages();
// The real boxes: QMessageBox on the active window, the error sound through QApplication::beep.
class QtMessageService : public IMessageService {
 public:
  QMessageBox::StandardButton TypedBox(Kind kind, const QString& text,
                                       QMessageBox::StandardButtons buttons) override;
  void PlainBox(const QString& text) override;
  void ErrorBox(const QString& text) override;
  int ErrorListBox(const QString& text, const QStringList& lines, const QStringList& buttons) override;
  void Beep() override;
};

// Windows that only report on the program's own work (the transfer's progress, the list of failed
// files) are marked; the main window does not count them as another window of the program when it
// decides whether an activation runs the activation work.
void MarkAsReportWindow(QWidget* window);
bool IsReportWindow(const QWidget* window);

// Runs the work of an event handler. An error it raises (VelmorError with its German text, or any
// std::exception) ends the work and is shown in the error box with the application title; the window
// stays usable. Qt does not let exceptions pass through its event dispatch, so every handler that can
// meet one runs its work through this.
void RunGuarded(const std::function<void()>& work);

// Installs a service for its lifetime (tests); restores the previous one afterwards.
class ScopedMessageService {
 public:
  explicit ScopedMessageService(IMessageService& service);
  ~ScopedMessageService();
  ScopedMessageService(const ScopedMessageService&) = delete;
  ScopedMessageService& operator=(const ScopedMessageService&) = delete;

 private:
  IMessageService* previous_;
};

}  // namespace velmor::ui
