#include "ui/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace velmor::ui {

namespace {

IMessageService* installed = nullptr;

const char* const kReportWindowProperty = "velmorReportWindow";

// A box asked during a long operation shows the normal pointer over the hourglass.
class ArrowCursor {
 public:
  ArrowCursor() { QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); }
  ~ArrowCursor() { QApplication::restoreOverrideCursor(); }
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;
};

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
  ArrowCursor arrow;
  // Closing the box with Escape or the title bar's button counts as the "negative" answer.
  if (buttons.testFlag(QMessageBox::Cancel)) {
    box.setEscapeButton(QMessageBox::Cancel);
  } else if (buttons.testFlag(QMessageBox::No)) {
    box.setEscapeButton(QMessageBox::No);
  }
  return static_cast<QMessageBox::StandardButton>(box.exec());
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

int QtMessageService::ErrorListBox(const QString& text, const QStringList& lines,
                                   const QStringList& buttons) {
  QDialog box(QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorListBox"));
  box.setWindowTitle(ApplicationTitle());
  MarkAsReportWindow(&box);

  auto* icon = new QLabel(&box);
  const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  icon->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(iconSize, iconSize));
  icon->setAlignment(Qt::AlignTop);
  auto* label = new QLabel(text, &box);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  auto* list = new QListWidget(&box);
  list->setObjectName(QStringLiteral("Lines"));
  list->addItems(lines);
  list->setMinimumWidth(560);
  // Up to twelve lines show at once; longer lists scroll.
  const int rows = static_cast<int>(std::min<qsizetype>(lines.size(), 12));
  list->setFixedHeight(list->sizeHintForRow(0) * std::max(rows, 1) + 2 * list->frameWidth() + 4);

  int pressed = -1;
  auto* buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  for (int i = 0; i < buttons.size(); ++i) {
    QPushButton* button = buttonBox->addButton(buttons[i], QDialogButtonBox::ActionRole);
    QObject::connect(button, &QPushButton::clicked, &box, [&box, &pressed, i] {
      pressed = i;
      box.accept();
    });
  }
  QObject::connect(buttonBox, &QDialogButtonBox::accepted, &box, &QDialog::accept);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  auto* right = new QVBoxLayout;
  right->addWidget(label);
  right->addWidget(list);
  top->addLayout(right, 1);
  auto* layout = new QVBoxLayout(&box);
  layout->addLayout(top);
  layout->addWidget(buttonBox);

  ArrowCursor arrow;
  box.exec();
  return pressed;
}

void RunGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    Messages().ErrorBox(QString::fromUtf8(error.what()));
  }
}

void MarkAsReportWindow(QWidget* window) {
  window->setProperty(kReportWindowProperty, true);
}

bool IsReportWindow(const QWidget* window) {
  return window != nullptr && window->property(kReportWindowProperty).toBool();
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
