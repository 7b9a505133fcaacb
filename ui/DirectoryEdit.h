// The two ways the window lets the user pick a folder:
//
// - TDirectoryEdit: a folder path edit with a button in its right end. The button (or Alt+Down in the
//   field) opens the directory dialog TSelectDirDlg ("Verzeichnis auswählen") and writes the chosen
//   folder into the field.
// - BrowseFolder: the folder browser TBrowseFolderDlg, an instruction text above a tree of drives and
//   folders; OK is offered only on existing folders.
//
// Both dialogs are modal. They are opened through the dialog seam (ui/FolderDialogs.h), so widget tests
// answer them instead of blocking; the dialogs themselves can be driven without a modal loop
// (construct, act, accept).
// Paths are Windows paths; the file system is reached through the platform layer only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

#include "ui/FolderDialogs.h"

namespace velmor::ui {

// Shows the folder browser with Text above its tree, starting at Folder when that is an existing
// folder. True when the user confirmed a folder; Folder then holds it (no trailing backslash except for
// a drive root such as "C:\"). False leaves Folder unchanged.
bool BrowseFolder(QString& Folder, const QString& Text, int HelpContext);

// ---------------------------------------------------------------------------------------------------
// The edit with a button.

class TCustomComboEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int ButtonWidth READ ButtonWidth WRITE SetButtonWidth)
  Q_PROPERTY(bool DirectInput READ DirectInput WRITE SetDirectInput)

 public:
  explicit TCustomComboEdit(QWidget* parent = nullptr);

  // Raised first when the button is pressed, with the signal buttonClicked.
  std::function<void(TCustomComboEdit* Sender)> OnButtonClick;

  // Width of the button and its container; 0 or 1 hides them.
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int width);
  // The key that presses the button from the keyboard (Alt+Down).
  QKeySequence ClickKey = QKeySequence(Qt::ALT | Qt::Key_Down);
  // False makes the text read-only for the keyboard; the button still works.
  bool DirectInput() const { return directInput_; }
  void SetDirectInput(bool on) { directInput_ = on; }
  bool AutoSelect = true;

  void SetGlyph(const QPixmap& glyph);
  QToolButton* Button() const { return button_; }
  QWidget* ButtonContainer() const { return container_; }
  // The text area in client coordinates.
  QRect EditRect() const;

  // Runs the button action (also for ClickKey): nothing on a read-only field, else ButtonClick().
  void DoClick();

 signals:
  void buttonClicked();  // OnButtonClick

 protected:
  virtual void ButtonClick();

  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QRect ClientRect() const;
  void UpdateLayout();
  bool CutPasteAllowed() const { return directInput_ && !isReadOnly(); }

  QWidget* container_ = nullptr;
  QToolButton* button_ = nullptr;
  int buttonWidth_ = 21;
  bool directInput_ = true;
  bool inLayout_ = false;
};

class TFileDirEdit : public TCustomComboEdit {
  Q_OBJECT

 public:
  explicit TFileDirEdit(QWidget* parent = nullptr);

  // Around the dialog: the folder (in/out) and whether to go on (in/out). They hand values back, so
  // they are handlers only, not signals.
  std::function<void(TFileDirEdit* Sender, QString& Folder, bool& Action)> OnBeforeDialog;
  std::function<void(TFileDirEdit* Sender, QString& Folder, bool& Action)> OnAfterDialog;
};

class TDirectoryEdit : public TFileDirEdit {
  Q_OBJECT
  Q_PROPERTY(QString InitialDir READ InitialDir WRITE SetInitialDir)

 public:
  enum class TDialogKind { SelectDirectory, BrowseFolder };

  explicit TDirectoryEdit(QWidget* parent = nullptr);

  TDialogKind DialogKind = TDialogKind::SelectDirectory;
  QString DialogText;         // instruction text of the folder browser
  bool MultipleDirs = false;  // append a chosen folder with ";" instead of replacing the text
  QString InitialDir() const { return initialDir_; }
  void SetInitialDir(const QString& folder) { initialDir_ = folder; }

 protected:
  void ButtonClick() override;

 private:
  QString initialDir_;
};

// ---------------------------------------------------------------------------------------------------
// The directory dialog: folder name, folder list with the current folder's parents opened, file list,
// drive box, "OK", "Abbrechen" and "Ne&tzwerk...".

class TSelectDirDlg : public QDialog {
  Q_OBJECT

 public:
  // startFolder is joined with "*.*" and made absolute; its drive and folder are opened.
  TSelectDirDlg(QWidget* owner, const QString& startFolder);

  // The folder shown under "Verzeichnis&name:", the result of OK.
  QString CurrentFolder() const { return current_; }
  // Opens a folder: the list shows its parents opened and its sub-folders, the file list its files.
  void OpenFolder(const QString& folder);
  // Moves to the root of a drive.
  void OpenDrive(char letter);

  // Runs the dialog; true with folder set on OK.
  static bool Execute(QWidget* owner, QString& folder);

 private:
  void FillDrives();
  void SelectDriveInBox(char letter);

  QString current_;
  QLabel* pathLabel_;
  QListWidget* dirList_;
  QListWidget* fileList_;
  QComboBox* driveBox_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QPushButton* networkButton_;
  QPushButton* helpButton_;
};

// ---------------------------------------------------------------------------------------------------
// The folder browser.

class TBrowseFolderDlg : public QObject {
  Q_OBJECT

 public:
  enum class TBrowseKind { bfFolders, bfComputers };
  enum class TDialogPosition { dpDefault, dpScreenCenter };

  explicit TBrowseFolderDlg(QObject* owner = nullptr);
  ~TBrowseFolderDlg() override;

  TBrowseKind BrowseKind = TBrowseKind::bfFolders;
  bool DesktopRoot = true;
  QString DialogText;
  QString FolderName;  // in: start folder; out: the chosen folder
  int HelpContext = 0;
  TDialogPosition Position = TDialogPosition::dpScreenCenter;
  // Raised with the signals initialized and selChanged.
  std::function<void(TBrowseFolderDlg* Sender)> OnInitialized;
  std::function<void(TBrowseFolderDlg* Sender)> OnSelChanged;

  // The path of the item selected in the browser (empty for the computer node).
  QString SelectedName() const { return selectedName_; }
  // The dialog while Prepare()/Execute() has it open (for tests: prepare, act, Finish()).
  QDialog* Dialog() const { return dialog_; }
  QTreeWidget* Tree() const { return tree_; }
  QPushButton* OkButton() const { return ok_; }

  // Runs the browser modally; true with FolderName set when the user confirmed a folder.
  bool Execute();
  // Builds the browser and opens it at FolderName without running it.
  void Prepare(QWidget* owner);
  // Ends a prepared browser as OK (accepted) or Cancel and takes the result like Execute().
  bool Finish(bool accepted);

 signals:
  void initialized();  // OnInitialized
  void selChanged();   // OnSelChanged

 private:
  void Populate(QTreeWidgetItem* item);
  void SelectionChanged();
  void OpenAt(const QString& folder);

  QString selectedName_;
  QDialog* dialog_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace velmor::ui
