// Keeps a window's placement (position, size, state) and chosen properties of its controls in a
// private profile (INI) file between runs.
//
// TFormPlacement takes over three events of its form: the (non-spontaneous) show event restores before
// the window becomes visible, an allowed close request saves, and the form's destruction saves once more
// if nothing was saved yet (the form calls FormDestroying() first thing in its destructor, while its
// controls still exist). TFormStorage adds StoredProps, items "Component.Property" read and written by
// name through Qt's property system (names matched ignoring case); each is stored under the key
// "Component_Property".
//
// The file goes through the platform's private profile functions (a name without folder lives in the
// Windows folder). A write that fails raises VelmorError("nach <file> kann nicht geschrieben werden");
// the taken-over events catch it and show it in Messages().ErrorBox, and the close goes on.
#pragma once

#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

namespace velmor::ui {

// The profile layer on top of the platform's private profile functions (texts are UTF-8 Qt strings).
QString ProfileReadString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue);
// Writes a text; a text enclosed in a pair of double or single quotes gets one more pair of double
// quotes, so that it reads back unchanged. Throws VelmorError when the file cannot be written.
void ProfileWriteString(const QString& file, const QString& section, const QString& key,
                        const QString& value);
// Decimal; on reading, "0x…"/"0X…" (more than two characters) is hexadecimal, anything else that is
// not a number gives the default.
int ProfileReadInteger(const QString& file, const QString& section, const QString& key, int defaultValue);
void ProfileWriteInteger(const QString& file, const QString& section, const QString& key, int value);
void ProfileWriteBool(const QString& file, const QString& section, const QString& key, bool value);
// Parses an integer as ProfileReadInteger does.
int ParseProfileInteger(const QString& text, int defaultValue);

class TFormPlacement : public QObject {
  Q_OBJECT

 public:
  enum TPlacementOption { fpState = 1, fpPosition = 2, fpActiveControl = 4 };

  // Owned by the form (as its Qt child); hooks the form's events at once.
  explicit TFormPlacement(QWidget* form);
  ~TFormPlacement() override;

  bool Active = true;
  QString IniFileName;  // empty: the program's name with ".INI"
  QString IniSection;   // empty: the form's class name
  int Options = fpState | fpPosition;
  int Version = 0;
  // Raised after each save and each restore, with the signals placementSaved and placementRestored.
  std::function<void(TFormPlacement* Sender)> OnSavePlacement;
  std::function<void(TFormPlacement* Sender)> OnRestorePlacement;

  void RestoreSettings();
  void SaveSettings();
  // The form's destructor calls this first: saves when nothing was saved yet (errors are shown).
  void FormDestroying();

  bool Saved() const { return saved_; }
  bool Restored() const { return restored_; }
  QWidget* Form() const { return form_; }
  QString FileName() const;
  QString Section() const;
  // "(WIDTHxHEIGHT)" of the form's screen.
  QString ResolutionSuffix() const;
  int ScreenPixelsPerInch() const;

 signals:
  void placementSaved();     // OnSavePlacement
  void placementRestored();  // OnRestorePlacement

 protected:
  virtual void SaveState();
  virtual void RestoreState();
  virtual QString ReadText(const QString& section, const QString& key, const QString& defaultValue);
  virtual void WriteText(const QString& section, const QString& key, const QString& value);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReadPlacement();
  void WritePlacement();
  void AdjustMaxPosition();
  QString ReadResolutionString(const QString& key);
  void WriteResolutionString(const QString& key, const QString& value);

  QPointer<QWidget> form_;
  bool saved_ = false;
  bool restored_ = false;
  bool destroying_ = false;
  // The minimized and maximized positions of the placement record (kept for the file only).
  QPoint minPos_{-1, -1};
  QPoint maxPos_{-1, -1};
  // The placement flags: as restored, written back with the restore-to-maximized flag of the moment.
  int flags_ = 0;
};

class TFormStorage : public TFormPlacement {
  Q_OBJECT

 public:
  explicit TFormStorage(QWidget* form);

  // Sets the stored properties ("Component.Property", in save and restore order) and binds them to
  // the form's components.
  void SetStoredProps(const QStringList& items);
  QStringList StoredProps() const;

  // FromForm = true looks the components up by name (dropping items that name none); false rebuilds
  // each item from its component's current name. Malformed items are dropped either way.
  void BindStoredProps(bool FromForm);

 protected:
  void SaveState() override;
  void RestoreState() override;
  void SaveStoredProps();
  void RestoreStoredProps();

 private:
  struct StoredProp {
    QString text;  // "Component.Property"
    QString componentName;
    QString propertyName;
    QPointer<QObject> component;
  };
  std::vector<StoredProp> items_;
};

}  // namespace velmor::ui
