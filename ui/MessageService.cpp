#include "ui/MessageService.h"

#include <QApplication>
#include <QWidget>

namespace velmor::ui {

namespace {

IMessageService* installed = nullptr;

QString ApplicationTitle() {
  QString title = QGuiApplication::applicationDisplayName();
  return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

QMessageBox::Icon IconOf(IMessageService::Kind kind) {
  switch (kind) {
    case IMessageService::Kind::Warning:
      return QMessageBox::Warning;
    case IMessageService::Kind::Error:
      return QMessageBox::Critical;
    case IMessageService::Kind::Information:
      return QMessageBox::Information;
    case IMessageService::Kind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// A box built by hand rather than through the static helpers, so that caption, icon and buttons are
// exactly ours and the box is modal to whichever window is active at the moment.
QMessageBox::StandardButton RunBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                   QMessageBox::StandardButtons buttons) {
  if (buttons == QMessageBox::NoButton) buttons = QMessageBox::Ok;
  // Texts break lines with a lone carriage return; a label only breaks at line feeds.
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(icon, caption, shown, buttons, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  // A box asked during a long operation shows the normal pointer over the hourglass.
  QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
  // Closing the box with Escape or the title bar's button counts as the "negative" answer.
  if (buttons.testFlag(QMessageBox::Cancel)) {
    box.setEscapeButton(QMessageBox::Cancel);
  } else if (buttons.testFlag(QMessageBox::No)) {
    box.setEscapeButton(QMessageBox::No);
  }
  const int result = box.exec();
  QApplication::restoreOverrideCursor();
  return static_cast<QMessageBox::StandardButton>(result);
}

}  // namespace

QString CaptionOf(IMessageService::Kind kind) {
  switch (kind) {
    case IMessageService::Kind::Warning:
      return QStringLiteral("Warnung");
    case IMessageService::Kind::Error:
      return QStringLiteral("Fehler");
    case IMessageService::Kind::Information:
      return QStringLiteral("Information");
    case IMessageService::Kind::Confirmation:
      return QStringLiteral("Bestätigung");
  }
  return QString();
}

QMessageBox::StandardButton QtMessageService::TypedBox(Kind kind, const QString& text,
                                                       QMessageBox::StandardButtons buttons) {
  return RunBox(IconOf(kind), CaptionOf(kind), text, buttons);
}

void QtMessageService::PlainBox(const QString& text) {
  RunBox(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok);
}

void QtMessageService::ErrorBox(const QString& text) {
  RunBox(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
}

void QtMessageService::Beep() {
  QApplication::beep();
}

IMessageService& Messages() {
  if (installed != nullptr) return *installed;
  static QtMessageService real;
  return real;
}

ScopedMessageService::ScopedMessageService(IMessageService& service) : previous_(installed) {
  installed = &service;
}

ScopedMessageService::~ScopedMessageService() {
  installed = previous_;
}

}  // namespace velmor::ui
