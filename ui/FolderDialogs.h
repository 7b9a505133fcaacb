// The dialog seam: every modal dialog of the window other than a message box opens through
// FolderDialogs(), so widget tests answer dialogs (ScopedFolderDialogs) instead of blocking on them.
// Message boxes have their own seam, Messages() in ui/MessageService.h. The real dialogs are the
// directory dialog and the folder browser of ui/DirectoryEdit.h, the network-drive dialogs of
// ui/KtFileExplorer28.h and the desktop's own folder chooser.
#pragma once

#include <QChar>
#include <QString>

class QWidget;

namespace velmor::ui {

class IFolderDialogs {
 public:
  virtual ~IFolderDialogs() = default;
  // The directory dialog ("Verzeichnis auswählen"); true with folder set to the chosen one, false
  // leaves folder unchanged.
  virtual bool SelectDirectory(QWidget* owner, QString& folder) = 0;
  // The folder browser with the instruction text; true with folder set to the chosen one.
  virtual bool BrowseForFolder(QString& folder, const QString& text, int helpContext) = 0;
  // Connects a network drive; true when one was connected, its letter then in *letter (when given).
  virtual bool ConnectNetworkDrive(QWidget* owner, QChar* letter) = 0;
  // Disconnects a network drive; true when one was disconnected.
  virtual bool DisconnectNetworkDrive(QWidget* owner) = 0;
  // Picks a folder of the host (where a share is mounted); true with folder set to it.
  virtual bool ChooseHostFolder(QWidget* owner, const QString& caption, QString& folder) = 0;
};

// The installed dialogs, else the real ones.
IFolderDialogs& FolderDialogs();

// Installs dialogs for its lifetime (tests); restores the previous ones afterwards.
class ScopedFolderDialogs {
 public:
  explicit ScopedFolderDialogs(IFolderDialogs& dialogs);
  ~ScopedFolderDialogs();
  ScopedFolderDialogs(const ScopedFolderDialogs&) = delete;
  ScopedFolderDialogs& operator=(const ScopedFolderDialogs&) = delete;

 private:
  IFolderDialogs* previous_;
};

}  // namespace velmor::ui
