#include "ui/FolderDialogs.h"

#include <QApplication>
#include <QFileDialog>

#include "ui/DirectoryEdit.h"
#include "ui/KtFileExplorer28.h"

namespace velmor::ui {

namespace {

class RealFolderDialogs : public IFolderDialogs {
 public:
  bool SelectDirectory(QWidget* owner, QString& folder) override {
    return TSelectDirDlg::Execute(owner, folder);
  }
  bool BrowseForFolder(QString& folder, const QString& text, int helpContext) override {
    TBrowseFolderDlg dialog(qApp);
    dialog.DialogText = text;
    dialog.FolderName = folder;
    dialog.HelpContext = helpContext;
    const bool chosen = dialog.Execute();
    if (chosen) folder = dialog.FolderName;
    return chosen;
  }
  bool ConnectNetworkDrive(QWidget* owner, QChar* letter) override {
    return ShowConnectNetworkDriveDialog(owner, letter);
  }
  bool DisconnectNetworkDrive(QWidget* owner) override { return ShowDisconnectNetworkDriveDialog(owner); }
  bool ChooseHostFolder(QWidget* owner, const QString& caption, QString& folder) override {
    const QString chosen = QFileDialog::getExistingDirectory(owner, caption, folder);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
  }
};

IFolderDialogs* installed = nullptr;

}  // namespace

IFolderDialogs& FolderDialogs() {
  static RealFolderDialogs real;
  return installed != nullptr ? *installed : real;
}

ScopedFolderDialogs::ScopedFolderDialogs(IFolderDialogs& dialogs) : previous_(installed) {
  installed = &dialogs;
}

ScopedFolderDialogs::~ScopedFolderDialogs() {
  installed = previous_;
}

}  // namespace velmor::ui
