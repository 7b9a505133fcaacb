// Every modal box of the window goes through this interface, so widget tests answer boxes instead of
// blocking on them. The window installs a QtMessageService; tests install a scripted one.
#pragma once

#include <QMessageBox>
#include <QString>

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
  void Beep() override;
};

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
