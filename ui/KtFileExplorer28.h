// The project folder tree and its context menu.
//
// TKtDirTree21 shows the computer, its drives and, loaded on first expansion, the folders of each drive.
// The folder of the selected node is kept as text in SelectedPath, in one of four forms:
//   "Drives"        after a press or arrow key on the computer node
//   "C:\"           after a press or arrow key on a drive node
//   "C:\A\B"        after a press or arrow key on a folder node (no trailing backslash)
//   "C:\A\B\"       after navigation (ExpandToPath, InitialDir, the menu commands that navigate)
// Drive nodes carry the text " (C:)  " + the drive's name part; the letter is read back from the text,
// so that form must not change.
//
// TKtDirTree21PopUp is the tree's own context menu with its ten folder commands. All messages and
// questions go through Messages() (ui/MessageService.h); errors of the commands are reported there and
// never thrown.
#pragma once

#include <QMenu>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <string>

class QLabel;

namespace velmor::ui {

class TKtDirTree21;

class TKtDirTree21PopUp : public QMenu {
  Q_OBJECT
 public:
  // Entry tags; one click handler picks the command by tag.
  enum Tag {
    kAddNode = 1,
    kEditNode = 2,
    kDelNode = 3,
    kCutNode = 4,
    kCopyNode = 5,
    kPasteNode = 6,
    kGetTreeSize = 7,
    kShowFolderContents = 8,
    kConnectNetResource = 9,
    kDisConnectNetResource = 10,
  };

  explicit TKtDirTree21PopUp(TKtDirTree21* tree);

  // The entry with the given tag (object names: "AddNode", "EditNode", ...).
  QAction* Entry(int tag) const;
  // Sets the enabled states of the entries from the tree's current selection.
  void UpdateEnabledStates();
  // Updates the enabled states and shows the menu at screenPos + (10, 10) (does not block).
  void PopupAt(const QPoint& screenPos);
  // Runs the command of a tag on the tree's current selection.
  void Execute(int tag);

 private:
  TKtDirTree21* tree_;
  std::array<QAction*, 11> entries_{};  // indexed by tag
};

class TKtDirTree21 : public QTreeWidget {
  Q_OBJECT
 public:
  using TNotifyEvent = std::function<void(TKtDirTree21* sender)>;
  using TDirChangeEvent = std::function<void(TKtDirTree21* sender, const QString& selectedPath)>;
  using TFileChangeEvent = std::function<void(TKtDirTree21* sender, const QString& selectedFile)>;

  enum class ClipboardOp { None, Copy, Move };

  explicit TKtDirTree21(QWidget* parent = nullptr);
  ~TKtDirTree21() override;

  // --- events: each fires its handler (when set) and its signal, through DoClick/DoDirChange/
  // DoFileChange ----------------------------------------------------------------------------------------
  TNotifyEvent OnClick;           // left button released over the tree, after the press logic ran
  TDirChangeEvent OnDirChange;    // a node was picked or the tree was navigated to a folder
  TFileChangeEvent OnFileChange;  // a file was picked in the folder-contents window

  // --- properties ------------------------------------------------------------------------------------
  // Label whose text shows the selected folder (not owned).
  QLabel* LblShowSelected() const { return label_; }
  void SetLblShowSelected(QLabel* label) { label_ = label; }
  bool PopUpMenuEnabled() const { return popUpMenuEnabled_; }
  void SetPopUpMenuEnabled(bool enabled);
  const QString& SelectedPath() const { return selectedPath_; }
  // Only stores the text (when it differs ignoring case); neither selects nor raises an event.
  void SetSelectedPath(const QString& path);
  const QString& SelectedFile() const { return selectedFile_; }
  void SetSelectedFile(const QString& file);
  QString About() const { return QStringLiteral("Version 2.1.6.0"); }
  void SetAbout(const QString&) {}
  const QString& InitialDir() const { return initialDir_; }
  // Navigates to the folder (see the rules in the source); the label shows the given text.
  void SetInitialDir(const QString& dir);
  // While true, folder labels may be edited in place.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // --- operations ------------------------------------------------------------------------------------
  // Removes all nodes and adds the computer node with the drive nodes (collapsed, nothing selected).
  void ReloadTree();
  // Walks to an existing folder: drive and folders on the way expanded, the folder selected and
  // expanded, SelectedPath = the folder with a trailing backslash, OnDirChange raised.
  void ExpandToPath(const QString& path);
  // The folder a node stands for: "C:\" for a drive, "C:\A\B" for a folder, empty for the computer.
  QString GetNodePath(const QTreeWidgetItem* node) const;
  // Whether the drive has a medium and answers; with showMessage, a failure is reported by a warning.
  bool DriveReady(QChar letter, bool showMessage);

  // --- nodes -----------------------------------------------------------------------------------------
  QTreeWidgetItem* ComputerNode() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }
  // The drive node of a letter; nullptr when absent.
  QTreeWidgetItem* DriveNode(QChar letter) const;
  // 0 computer, 1 drive, 2 and more folder.
  static int Level(const QTreeWidgetItem* node);
  bool RemoteDrive(QChar letter) const;
  // Whether the node shows an expand button (it has children or is flagged as having some).
  static bool HasChildrenFlag(const QTreeWidgetItem* node);

  // --- commands of the context menu (act on the given node or the current selection) ---------------
  TKtDirTree21PopUp* PopUp() const { return popUp_; }
  void AddNewFolder(QTreeWidgetItem* node, const QString& name);
  void EditSelectedLabel();
  void DeleteFolder(QTreeWidgetItem* node);
  void CutFolder() { MarkFolder(ClipboardOp::Move); }
  void CopyFolder() { MarkFolder(ClipboardOp::Copy); }
  void PasteFolder();
  void ShowTreeSize();
  void ShowFolderContents();
  void ConnectNetResource();
  void DisConnectNetResource();
  // The rename that ends every label edit: cancelled edits and empty texts only sound the error.
  void RenameFolder(QTreeWidgetItem* node, const QString& text, bool cancelled);

  bool NewFolderNaming() const { return newFolderNaming_; }
  bool ClipboardFilled() const { return clipboardFilled_; }
  ClipboardOp ClipboardOperation() const { return clipboardOperation_; }
  const QString& ClipboardPath() const { return clipboardPath_; }
  const QString& PasteTarget() const { return pasteTarget_; }
  const QString& FolderContentsPath() const { return folderContentsPath_; }
  // The open folder-contents window (object name "FolderContentsWindow"), nullptr when none.
  QWidget* ContentsWindow() const;
  // Closes the contents window as its OK button does.
  void CloseFolderContents();

  // Computes the size text of the tree-size report ("0.00 KB", "1.00 KB", "146.48 MB").
  static QString TreeSizeText(double totalBytes);

 signals:
  void treeClicked();                             // OnClick
  void dirChanged(const QString& selectedPath);   // OnDirChange
  void fileChanged(const QString& selectedFile);  // OnFileChange

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void commitData(QWidget* editor) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  void DoClick();
  void DoDirChange();
  void DoFileChange();

  void AddComputerNode();
  void AddDriveNodes();
  void LoadChildren(QTreeWidgetItem* node);
  void AddSubFolderNodes(const QString& path, QTreeWidgetItem* parent);
  bool HasSubFolders(const QString& path) const;
  static bool HasSubFolder(const std::string& path);
  // Probes of sub-folders that run at once when a folder is expanded.
  static constexpr unsigned kProbeThreads = 16;
  void ExpandOneLevel(QTreeWidgetItem* node);
  void CollapseAll(QTreeWidgetItem* node);
  // Steps shared by a press and an arrow key: SelectedPath from the node, readiness, OnDirChange.
  void NodePicked(QTreeWidgetItem* node);
  bool OnLabelOrIcon(QTreeWidgetItem* item, const QPoint& pos) const;
  // A press of any button at a viewport point: picks the node when it hits a label or an icon.
  void PressedAt(const QPoint& pos);
  bool CanEditLabel(const QTreeWidgetItem* item) const;
  void MarkFolder(ClipboardOp operation);
  bool ShellTransfer(ClipboardOp operation, const QString& source, const QString& targetFolder);

  QLabel* label_ = nullptr;
  bool popUpMenuEnabled_ = true;
  bool readOnly_ = false;
  QString selectedPath_;
  QString selectedFile_;
  QString initialDir_;
  std::array<bool, 26> remoteDrives_{};

  TKtDirTree21PopUp* popUp_ = nullptr;  // owned as a Qt child
  bool newFolderNaming_ = false;
  bool clipboardFilled_ = false;
  ClipboardOp clipboardOperation_ = ClipboardOp::None;
  QString clipboardPath_;
  QString pasteTarget_;
  QString folderContentsPath_;
  QPointer<QWidget> contentsWindow_;

  // The in-place edit in progress: which node, and whether the editor committed a text.
  QPersistentModelIndex editIndex_;
  bool editCommitted_ = false;
  QString editText_;
};

// The dialogs that stand in for the system's network-drive dialogs. A network drive is a drive link
// to a folder holding a mounted share. Both return true when a drive was connected or disconnected.
// The connect dialog offers the free letters (default: the one after the highest drive present) and a
// folder; connectedLetter receives the letter used.
bool ShowConnectNetworkDriveDialog(QWidget* parent, QChar* connectedLetter = nullptr);
bool ShowDisconnectNetworkDriveDialog(QWidget* parent);

}  // namespace velmor::ui
