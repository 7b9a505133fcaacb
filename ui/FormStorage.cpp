#include "ui/FormStorage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <map>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "ui/MessageService.h"
#include "ui/TextConversion.h"

namespace velmor::ui {

namespace {

using velmor::platform::Os;

// Windows show commands as the placement record carries them.
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
// The placement flag of a minimized window that comes back maximized.
constexpr int kRestoreToMaximized = 2;

// Leading and trailing blanks and control characters removed.
QString TrimControl(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin].unicode() <= ' ') ++begin;
  while (end > begin && text[end - 1].unicode() <= ' ') --end;
  return text.mid(begin, end - begin);
}

// The words of a placement value: runs of characters other than "," and blank.
QStringList Words(const QString& text) {
  return text.split(QRegularExpression("[, ]+"), Qt::SkipEmptyParts);
}

int WordAsInt(const QStringList& words, int index, int defaultValue) {
  return index < words.size() ? ParseProfileInteger(words[index], defaultValue) : defaultValue;
}

QString FourInts(int a, int b, int c, int d) {
  return QString("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

QScreen* ScreenOf(const QWidget* widget) {
  QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
  return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

QMetaProperty FindProperty(const QObject* object, const QString& name) {
  const QMetaObject* meta = object->metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty property = meta->property(i);
    if (QString::fromLatin1(property.name()).compare(name, Qt::CaseInsensitive) == 0) return property;
  }
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Profile layer

QString ProfileReadString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue) {
  return Q(Os().GetPrivateProfileString(U8(section), U8(key), U8(defaultValue), U8(file), 2048));
}

void ProfileWriteString(const QString& file, const QString& section, const QString& key,
                        const QString& value) {
  QString written = value;
  // The reader drops one pair of enclosing quotes: protect a text that begins and ends with the same
  // quote mark (a lone quote mark counts: it is both its first and its last character).
  if (!value.isEmpty() &&
      ((value.front() == '"' && value.back() == '"') || (value.front() == '\'' && value.back() == '\''))) {
    written = '"' + value + '"';
  }
  const std::string text = U8(written);
  if (!Os().WritePrivateProfileString(U8(section), U8(key), std::string_view(text), U8(file))) {
    throw VelmorError("nach " + U8(file) + " kann nicht geschrieben werden");
  }
}

int ParseProfileInteger(const QString& text, int defaultValue) {
  const QString trimmed = text.trimmed();
  bool ok = false;
  int value = 0;
  if (trimmed.size() > 2 && (trimmed.startsWith("0x") || trimmed.startsWith("0X"))) {
    value = static_cast<int>(trimmed.mid(2).toUInt(&ok, 16));
  } else {
    value = trimmed.toInt(&ok, 10);
  }
  return ok ? value : defaultValue;
}

int ProfileReadInteger(const QString& file, const QString& section, const QString& key, int defaultValue) {
  return ParseProfileInteger(ProfileReadString(file, section, key, QString::number(defaultValue)),
                             defaultValue);
}

void ProfileWriteInteger(const QString& file, const QString& section, const QString& key, int value) {
  ProfileWriteString(file, section, key, QString::number(value));
}

void ProfileWriteBool(const QString& file, const QString& section, const QString& key, bool value) {
  ProfileWriteString(file, section, key, value ? "1" : "0");
}

// ---------------------------------------------------------------------------------------------------
// TFormPlacement

TFormPlacement::TFormPlacement(QWidget* form) : QObject(form), form_(form) {
  setObjectName("FormStorage1");
  if (form_ != nullptr) form_->installEventFilter(this);
}

TFormPlacement::~TFormPlacement() {
  if (form_ != nullptr) form_->removeEventFilter(this);
}

QString TFormPlacement::FileName() const {
  if (!IniFileName.isEmpty()) return IniFileName;
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".INI";
}

QString TFormPlacement::Section() const {
  if (!IniSection.isEmpty()) return IniSection;
  return form_ != nullptr ? QString::fromLatin1(form_->metaObject()->className()).section("::", -1)
                          : QString();
}

QString TFormPlacement::ResolutionSuffix() const {
  QScreen* screen = ScreenOf(form_);
  const QSize size = screen != nullptr ? screen->geometry().size() : QSize(0, 0);
  return QString("(%1x%2)").arg(size.width()).arg(size.height());
}

int TFormPlacement::ScreenPixelsPerInch() const {
  QScreen* screen = ScreenOf(form_);
  return screen != nullptr ? qRound(screen->logicalDotsPerInch()) : 96;
}

QString TFormPlacement::ReadText(const QString& section, const QString& key, const QString& defaultValue) {
  return ProfileReadString(FileName(), section, key, defaultValue);
}

void TFormPlacement::WriteText(const QString& section, const QString& key, const QString& value) {
  ProfileWriteString(FileName(), section, key, value);
}

QString TFormPlacement::ReadResolutionString(const QString& key) {
  QString value = ReadText(Section(), key + ResolutionSuffix(), QString());
  if (value.isEmpty()) value = ReadText(Section(), key, QString());
  return value;
}

void TFormPlacement::WriteResolutionString(const QString& key, const QString& value) {
  WriteText(Section(), key + ResolutionSuffix(), value);
  WriteText(Section(), key, value);
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched != form_ || form_ == nullptr) return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::Show && !event->spontaneous()) {
    // Before the window becomes visible and is placed on the screen; an error is shown and the
    // window is shown all the same.
    RunGuarded([this] { RestoreSettings(); });
    return false;
  }
  if (event->type() == QEvent::Close) {
    // The form's own close handler decides first; the save follows only when the close is allowed.
    form_->removeEventFilter(this);
    QCoreApplication::sendEvent(form_, event);
    if (form_ != nullptr) form_->installEventFilter(this);
    if (event->isAccepted() && Active && form_ != nullptr) {
      destroying_ = false;
      RunGuarded([this] { SaveSettings(); });
    }
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void TFormPlacement::FormDestroying() {
  if (!Active || saved_) return;
  destroying_ = true;
  RunGuarded([this] { SaveSettings(); });
  destroying_ = false;
}

void TFormPlacement::RestoreSettings() {
  if (!Active) return;
  saved_ = false;
  struct MarkRestored {
    bool& flag;
    ~MarkRestored() { flag = true; }
  } markRestored{restored_};
  if (ProfileReadInteger(FileName(), Section(), "FormVersion", 0) >= Version) {
    RestoreState();
    if (OnRestorePlacement) OnRestorePlacement(this);
    emit placementRestored();
  }
  restored_ = true;
  AdjustMaxPosition();
}

void TFormPlacement::SaveSettings() {
  if (!restored_ && Active) return;
  ProfileWriteInteger(FileName(), Section(), "FormVersion", Version);
  SaveState();
  if (OnSavePlacement) OnSavePlacement(this);
  emit placementSaved();
  saved_ = true;
}

void TFormPlacement::RestoreState() {
  if ((Options & (fpState | fpPosition)) != 0) ReadPlacement();
  restored_ = true;
}

void TFormPlacement::SaveState() {
  if ((Options & (fpState | fpPosition)) != 0) {
    WritePlacement();
    ProfileWriteBool(FileName(), Section(), "Visible", destroying_);
  }
}

void TFormPlacement::ReadPlacement() {
  QWidget* form = form_;
  if (form == nullptr) return;
  const QString section = Section();
  const QRect current = form->geometry();

  if ((Options & fpPosition) != 0) {
    const int flags = ProfileReadInteger(FileName(), section, "Flags", flags_);
    bool found = false;
    QString text = ReadResolutionString("MinMaxPos");
    if (!text.isEmpty()) {
      found = true;
      const QStringList words = Words(text);
      minPos_ = QPoint(WordAsInt(words, 0, 0), WordAsInt(words, 1, 0));
      maxPos_ = QPoint(WordAsInt(words, 2, 0), WordAsInt(words, 3, 0));
    }
    QRect normal = current;
    text = ReadResolutionString("NormPos");
    int left = current.left();
    int top = current.top();
    int right = current.left() + current.width();
    int bottom = current.top() + current.height();
    if (!text.isEmpty()) {
      found = true;
      const QStringList words = Words(text);
      left = WordAsInt(words, 0, left);
      top = WordAsInt(words, 1, top);
      right = WordAsInt(words, 2, right);
      bottom = WordAsInt(words, 3, bottom);
    }
    if (ProfileReadInteger(FileName(), section, "PixelsPerInch", ScreenPixelsPerInch()) !=
        ScreenPixelsPerInch()) {
      found = false;
    }
    if (found && right > left) {
      // Only sizeable windows take the stored size; fixed ones keep theirs and move.
      if (form->minimumSize() == form->maximumSize()) {
        right = left + current.width();
        bottom = top + current.height();
      }
      normal = QRect(left, top, right - left, bottom - top);
      form->setGeometry(normal);
      flags_ = flags;
    }
  }

  if ((Options & fpState) != 0) {
    const int show = ProfileReadInteger(FileName(), section, "ShowCmd", 0);
    const bool mainForm = form->parentWidget() == nullptr;
    switch (show) {
      case 1:
      case 5:
      case 9:
        form->setWindowState(form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        break;
      case 2:
      case 6:
      case 7: {
        // Minimized; with the flag it comes back maximized.
        const Qt::WindowStates restored =
            (flags_ & kRestoreToMaximized) != 0 ? Qt::WindowMaximized : Qt::WindowNoState;
        if (mainForm) {
          // The window is recorded as normal; the whole application shows minimized once the
          // window is up.
          QTimer::singleShot(0, form, [form, restored] {
            form->setWindowState(form->windowState() | restored);
            form->showMinimized();
          });
        } else {
          form->setWindowState(form->windowState() | restored | Qt::WindowMinimized);
        }
        break;
      }
      case 3:
        form->setWindowState((form->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        break;
      default:
        // The designed position is the window's own, so the default state is normal.
        break;
    }
  }
  form->update();
}

void TFormPlacement::AdjustMaxPosition() {
  if (form_ == nullptr) return;
  // A maximized window sits with its frame just off the screen.
  const QRect frame = form_->frameGeometry();
  const QRect client = form_->geometry();
  maxPos_ = QPoint(-std::max(0, client.left() - frame.left()), -std::max(0, client.top() - frame.top()));
}

void TFormPlacement::WritePlacement() {
  QWidget* form = form_;
  if (form == nullptr) return;
  const QString file = FileName();
  const QString section = Section();
  int showCmd = kShowNormal;
  if (form->isMinimized()) {
    showCmd = kShowMinimized;
  } else if (form->isMaximized()) {
    showCmd = kShowMaximized;
  }
  // The normal (restored) rectangle also while the window is maximized or minimized.
  QRect normal = form->normalGeometry();
  if (!normal.isValid() || (!form->isMaximized() && !form->isMinimized())) normal = form->geometry();
  // The flags as read, with the one that a minimized window's state decides.
  int flags = flags_ & ~kRestoreToMaximized;
  if (form->isMinimized() && form->windowState().testFlag(Qt::WindowMaximized)) flags |= kRestoreToMaximized;
  ProfileWriteInteger(file, section, "Flags", flags);
  ProfileWriteInteger(file, section, "ShowCmd", showCmd);
  ProfileWriteInteger(file, section, "PixelsPerInch", ScreenPixelsPerInch());
  WriteResolutionString("MinMaxPos", FourInts(minPos_.x(), minPos_.y(), maxPos_.x(), maxPos_.y()));
  WriteResolutionString("NormPos", FourInts(normal.left(), normal.top(), normal.left() + normal.width(),
                                            normal.top() + normal.height()));
}

// ---------------------------------------------------------------------------------------------------
// TFormStorage

TFormStorage::TFormStorage(QWidget* form) : TFormPlacement(form) {}

void TFormStorage::SetStoredProps(const QStringList& items) {
  items_.clear();
  for (const QString& item : items) items_.push_back(StoredProp{item, {}, {}, {}});
  BindStoredProps(true);
}

QStringList TFormStorage::StoredProps() const {
  QStringList result;
  for (const StoredProp& item : items_) result << item.text;
  return result;
}

void TFormStorage::BindStoredProps(bool FromForm) {
  // Split each item at its first "."; items without one or with an empty part go.
  for (auto it = items_.begin(); it != items_.end();) {
    const qsizetype dot = it->text.indexOf('.');
    const QString component = dot < 0 ? QString() : it->text.left(dot).trimmed();
    const QString property = dot < 0 ? QString() : it->text.mid(dot + 1).trimmed();
    if (component.isEmpty() || property.isEmpty()) {
      it = items_.erase(it);
      continue;
    }
    it->componentName = component;
    it->propertyName = property;
    ++it;
  }
  if (FromForm) {
    const QList<QObject*> candidates =
        Form() != nullptr ? Form()->findChildren<QObject*>() : QList<QObject*>();
    for (auto it = items_.rbegin(); it != items_.rend();) {
      QObject* found = nullptr;
      for (QObject* candidate : candidates) {
        if (candidate->objectName().compare(it->componentName, Qt::CaseInsensitive) == 0) {
          found = candidate;
          break;
        }
      }
      if (found == nullptr) {
        it = decltype(it)(items_.erase(std::next(it).base()));
        continue;
      }
      it->component = found;
      ++it;
    }
  } else {
    // A component removed from the form takes its items with it.
    std::erase_if(items_, [](const StoredProp& item) { return item.component.isNull(); });
    for (StoredProp& item : items_) {
      item.componentName = item.component->objectName();
      item.text = item.componentName + "." + item.propertyName;
    }
  }
}

void TFormStorage::SaveState() {
  TFormPlacement::SaveState();
  SaveStoredProps();
}

void TFormStorage::RestoreState() {
  TFormPlacement::RestoreState();
  RestoreStoredProps();
}

void TFormStorage::SaveStoredProps() {
  BindStoredProps(false);
  for (const StoredProp& item : items_) {
    const QMetaProperty property = FindProperty(item.component, item.propertyName);
    if (!property.isValid()) continue;
    const QString value = TrimControl(property.read(item.component).toString());
    WriteText(Section(), item.componentName + "_" + item.propertyName, value);
  }
}

void TFormStorage::RestoreStoredProps() {
  BindStoredProps(false);
  // Index by position so that a handler fired by one restore cannot invalidate the walk.
  const std::vector<StoredProp> items = items_;
  for (const StoredProp& item : items) {
    if (item.component.isNull()) continue;
    const QMetaProperty property = FindProperty(item.component, item.propertyName);
    if (!property.isValid()) continue;
    // A failure with one property leaves it as it is and goes on with the next.
    try {
      const QString current = property.read(item.component).toString();
      const QString restored =
          TrimControl(ReadText(Section(), item.componentName + "_" + item.propertyName, current));
      if (!item.component.isNull()) property.write(item.component, restored);
    } catch (const std::exception&) {
    }
  }
}

}  // namespace velmor::ui
