// The tree's context menu and its commands: new folder, rename, delete, cut / copy / paste, tree size,
// folder contents and the network drives.
#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "search/NameText.h"
#include "support/FolderSize.h"
#include "ui/BackgroundWork.h"
#include "ui/FolderDialogs.h"
#include "ui/Glyphs.h"
#include "ui/KtFileExplorer28.h"
#include "ui/KtFileExplorer28Icons.h"
#include "ui/KtFileExplorer28Internal.h"
#include "ui/MessageService.h"
#include "ui/NameOrder.h"
#include "ui/WaitCursor.h"

namespace velmor::ui {

using namespace explorer;
using Kind = IMessageService::Kind;

namespace {

const QString kDefaultFolderName = QStringLiteral("Neuer Ordner");

void ErrorBox(const QString& text) {
  Messages().TypedBox(Kind::Error, text, QMessageBox::Ok);
}

}  // namespace

// --- the menu ------------------------------------------------------------------------------------------

TKtDirTree21PopUp::TKtDirTree21PopUp(TKtDirTree21* tree) : QMenu(tree), tree_(tree) {
  setObjectName(QStringLiteral("KtDirTree21PopUp"));
  struct EntryDef {
    int tag;
    const char* name;
    const char* caption;
  };
  static const EntryDef defs[] = {
      {kAddNode, "AddNode", "&Neuer Ordner"},
      {kEditNode, "EditNode", "&Ordner umbenennen"},
      {kDelNode, "DelNode", "Ordner &löschen"},
      {0, nullptr, nullptr},
      {kCutNode, "CutNode", "ausschnei&den"},
      {kCopyNode, "CopyNode", "&kopieren"},
      {kPasteNode, "PasteNode", "&einfügen"},
      {0, nullptr, nullptr},
      {kGetTreeSize, "GetTreeSize", "Ordnergröße"},
      {kShowFolderContents, "ShowFolderContents", "&Ordner Inhalt"},
      {0, nullptr, nullptr},
      {kConnectNetResource, "ConnectNetResource", "Netzwerk &verbinden..."},
      {kDisConnectNetResource, "DisConnectNetResource", "Netzwerk &trennen"},
  };
  for (const EntryDef& def : defs) {
    if (def.tag == 0) {
      addSeparator();
      continue;
    }
    QAction* action = addAction(TreeMenuIcon(def.tag), QString::fromUtf8(def.caption));
    action->setObjectName(QString::fromLatin1(def.name));
    action->setData(def.tag);
    action->setIconVisibleInMenu(true);
    entries_[static_cast<size_t>(def.tag)] = action;
  }
  connect(this, &QMenu::triggered, this,
          [this](QAction* action) { RunGuarded([this, action] { Execute(action->data().toInt()); }); });
}

QAction* TKtDirTree21PopUp::Entry(int tag) const {
  return tag >= 1 && tag <= 10 ? entries_[static_cast<size_t>(tag)] : nullptr;
}

void TKtDirTree21PopUp::UpdateEnabledStates() {
  QTreeWidgetItem* node = tree_->currentItem();
  const int level = node != nullptr ? TKtDirTree21::Level(node) : -1;
  const bool driveOrFolder = level >= 1;
  const bool folder = level >= 2;
  Entry(kAddNode)->setEnabled(driveOrFolder);
  Entry(kEditNode)->setEnabled(folder);
  Entry(kDelNode)->setEnabled(folder);
  Entry(kCutNode)->setEnabled(folder);
  Entry(kCopyNode)->setEnabled(folder);
  Entry(kPasteNode)->setEnabled(folder && tree_->ClipboardFilled());
  Entry(kGetTreeSize)->setEnabled(driveOrFolder);
  Entry(kShowFolderContents)->setEnabled(driveOrFolder);
}

void TKtDirTree21PopUp::PopupAt(const QPoint& screenPos) {
  UpdateEnabledStates();
  popup(screenPos + QPoint(10, 10));
}

void TKtDirTree21PopUp::Execute(int tag) {
  switch (tag) {
    case kAddNode:
      tree_->AddNewFolder(tree_->currentItem(), QString());
      break;
    case kEditNode:
      tree_->EditSelectedLabel();
      break;
    case kDelNode:
      if (tree_->currentItem() != nullptr) tree_->DeleteFolder(tree_->currentItem());
      break;
    case kCutNode:
      tree_->CutFolder();
      break;
    case kCopyNode:
      tree_->CopyFolder();
      break;
    case kPasteNode:
      tree_->PasteFolder();
      break;
    case kGetTreeSize:
      tree_->ShowTreeSize();
      break;
    case kShowFolderContents:
      tree_->ShowFolderContents();
      break;
    case kConnectNetResource:
      tree_->ConnectNetResource();
      break;
    case kDisConnectNetResource:
      tree_->DisConnectNetResource();
      break;
    default:
      break;
  }
}

// --- new folder, rename, delete ------------------------------------------------------------------------

void TKtDirTree21::AddNewFolder(QTreeWidgetItem* node, const QString& name) {
  if (node == nullptr) return;
  if (Level(node) == 0) {
    ErrorBox(QStringLiteral("Can't add drives"));
    return;
  }
  QString folderName = name;
  if (folderName.isEmpty()) {
    folderName = kDefaultFolderName;
    newFolderNaming_ = true;
  }
  const QString parentPath = GetNodePath(node);
  if (parentPath.isEmpty()) return;
  const QString newPath = WithBackslash(parentPath) + folderName;
  if (HasInvalidNameChar(folderName)) {
    Messages().Beep();
    ErrorBox(QStringLiteral("Folder Name contains invalid characters"));
    return;
  }
  // A folder of that name may exist already: nothing to show, the user sees it in the tree.
  if (!platform::Os().CreateDirectory(U8(newPath))) return;
  ReloadTree();
  ExpandToPath(WithBackslash(newPath));
  // The edit opens on the folder just made, never on another one the walk may have stopped at.
  if (currentItem() != nullptr && folderName == kDefaultFolderName && GetNodePath(currentItem()) == newPath)
    editItem(currentItem());
}

void TKtDirTree21::EditSelectedLabel() {
  if (currentItem() != nullptr) editItem(currentItem());
}

void TKtDirTree21::RenameFolder(QTreeWidgetItem* node, const QString& text, bool cancelled) {
  if (node == nullptr || Level(node) < 2) return;
  if (cancelled || text.isEmpty()) {
    Messages().Beep();
    return;
  }
  if (HasInvalidNameChar(text)) {
    Messages().Beep();
    ErrorBox(QStringLiteral("Error - Invalid Directory Name\r") + text);
    return;
  }
  QString oldPath = GetNodePath(node);
  if (oldPath.isEmpty()) return;
  oldPath = WithoutBackslash(oldPath);
  const QString newPath = oldPath.left(oldPath.lastIndexOf(QLatin1Char('\\')) + 1) + text;
  const bool naming = newFolderNaming_;
  newFolderNaming_ = false;
  // Enter on an unchanged name is no rename: nothing to ask, nothing to fail.
  if (newPath == oldPath) return;
  if (!naming) {
    const QString question = QStringLiteral("Do you want to rename the selected folder\r\r    From  : ") +
                             LastName(oldPath) + QStringLiteral("\r    To     : ") + LastName(newPath);
    if (Messages().TypedBox(Kind::Confirmation, question, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes) {
      return;
    }
  }
  bool renamed = false;
  uint32_t error = 0;
  {
    WaitCursor wait;
    renamed = platform::Os().ShellRename(U8(oldPath), U8(newPath));
    if (!renamed) error = platform::LastError();
  }
  if (!renamed) {
    // The desktop has no shell box of its own for this; say why the name stays, in the shell's words.
    const QString reason =
        error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists
            ? QString::fromUtf8("Eine Datei oder ein Ordner mit diesem Namen ist bereits vorhanden.")
        : error == platform::kErrorAccessDenied ? QString::fromUtf8("Der Zugriff wurde verweigert.")
                                                : QString::fromUtf8("Der Ordner wurde nicht gefunden.");
    ErrorBox(QString::fromUtf8("%1 kann nicht umbenannt werden: %2").arg(LastName(oldPath), reason));
    return;
  }
  node->setText(0, text);
  if (node->parent() != nullptr) setCurrentItem(node->parent());
}

void TKtDirTree21::DeleteFolder(QTreeWidgetItem* node) {
  if (node == nullptr || Level(node) < 2) return;
  // The folder of the node being deleted (not whatever SelectedPath says), so that the node removed
  // from the tree is always the folder removed from the disk.
  const QString path = WithoutBackslash(GetNodePath(node));
  if (path.isEmpty()) return;
  auto& os = platform::Os();
  if (!os.DirectoryExists(U8(path))) {
    Messages().Beep();
    ErrorBox(path + QStringLiteral("not found"));
    return;
  }
  // The shell's own confirmation, in the shell's language like its buttons and caption.
  const QString name = LastName(path);
  if (Messages().TypedBox(
          Kind::Confirmation,
          QString::fromUtf8("Möchten Sie den Ordner \"%1\" mit seinem ganzen Inhalt in den Papierkorb "
                            "verschieben?")
              .arg(name),
          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  bool deleted = false;
  uint32_t error = 0;
  {
    WaitCursor wait;
    deleted = os.MoveToTrash(U8(path));
    if (!deleted) error = platform::LastError();
  }
  if (!deleted && error == platform::kErrorAccessDenied) {
    // No trash can take it (another file system without a trash folder of its own).
    if (Messages().TypedBox(Kind::Confirmation,
                            QString::fromUtf8("Der Ordner \"%1\" kann nicht in den Papierkorb verschoben "
                                              "werden.\r\rSoll er endgültig gelöscht werden?")
                                .arg(name),
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
      return;
    }
    WaitCursor wait;
    deleted = os.DeleteTree(U8(path));
  }
  if (!deleted) {
    ErrorBox(QString::fromUtf8("%1 kann nicht gelöscht werden: Der Ordner oder eine Datei darin wird "
                               "verwendet, oder der Zugriff wurde verweigert.")
                 .arg(name));
    return;
  }
  if (node->parent() != nullptr) setCurrentItem(node->parent());
  delete node;
}

// --- cut, copy, paste ----------------------------------------------------------------------------------

void TKtDirTree21::MarkFolder(ClipboardOp operation) {
  clipboardOperation_ = ClipboardOp::None;
  QTreeWidgetItem* node = currentItem();
  const QString path = node != nullptr && Level(node) >= 1 ? GetNodePath(node) : QString();
  if (node != nullptr && !selectedPath_.isEmpty() && !path.isEmpty()) {
    clipboardPath_ = path;
    clipboardOperation_ = operation;
    clipboardFilled_ = true;
  } else {
    clipboardFilled_ = false;
  }
}

bool TKtDirTree21::ShellTransfer(ClipboardOp operation, const QString& source, const QString& targetFolder) {
  if (operation == ClipboardOp::None) return false;
  const bool move = operation == ClipboardOp::Move;
  WaitCursor wait;
  // The dialog shows itself only when the operation takes a while.
  QProgressDialog progress(this);
  progress.setWindowTitle(move ? QString::fromUtf8("Verschieben...") : QString::fromUtf8("Kopieren..."));
  progress.setLabelText(LastName(source));
  progress.setRange(0, 1000);
  progress.setMinimumDuration(700);
  progress.setWindowModality(Qt::WindowModal);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  progress.setValue(0);
  bool replaceAll = false;
  const platform::ShellConfirmReplace confirm = [&](const std::string& existing) {
    if (replaceAll) return true;
    const QMessageBox::StandardButton answer =
        Messages().TypedBox(Kind::Confirmation,
                            QString::fromUtf8("Der Zielordner enthält bereits die Datei\r\r    %1\r\rSoll "
                                              "sie ersetzt werden?")
                                .arg(Q(existing)),
                            QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel);
    if (answer == QMessageBox::YesToAll) replaceAll = true;
    return answer == QMessageBox::Yes || answer == QMessageBox::YesToAll;
  };
  const platform::ShellProgress report = [&](uint64_t done, uint64_t total, const std::string& current) {
    progress.setLabelText(Q(current));
    progress.setValue(total == 0 ? 0 : static_cast<int>(done * 1000 / total));
    return !progress.wasCanceled();
  };
  const std::string from = U8(WithoutBackslash(source));
  auto& os = platform::Os();
  return move ? os.ShellMove(from, U8(targetFolder), confirm, report)
              : os.ShellCopy(from, U8(targetFolder), confirm, report);
}

void TKtDirTree21::PasteFolder() {
  QTreeWidgetItem* node = currentItem();
  // The folder of the selected node: SelectedPath may still name a folder deleted meanwhile, and a
  // paste there would bring that folder back.
  const QString target = node != nullptr && Level(node) >= 1 ? GetNodePath(node) : QString();
  if (node == nullptr || selectedPath_.isEmpty() || target.isEmpty() || clipboardPath_.isEmpty()) {
    clipboardFilled_ = false;
    return;
  }
  pasteTarget_ = WithBackslash(target);
  const bool done = ShellTransfer(clipboardOperation_, clipboardPath_, pasteTarget_);
  clipboardFilled_ = false;
  if (!done) {
    ErrorBox(QStringLiteral("File operation failed"));
    return;
  }
  ReloadTree();
  ExpandToPath(pasteTarget_);
}

// --- tree size -----------------------------------------------------------------------------------------

QString TKtDirTree21::TreeSizeText(double totalBytes) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  const double kilobytes = totalBytes > 0 && totalBytes < 1024 ? 1.0 : totalBytes / 1024;
  if (kilobytes > 99999) return locale.toString(kilobytes / 1024, 'f', 2) + QStringLiteral(" MB");
  return locale.toString(kilobytes, 'f', 2) + QStringLiteral(" KB");
}

void TKtDirTree21::ShowTreeSize() {
  QTreeWidgetItem* node = currentItem();
  if (node == nullptr || Level(node) < 1) return;
  const QString path = GetNodePath(node);
  const QString heading = Level(node) == 1 ? QStringLiteral("Drive ") + path
                                           : QStringLiteral("Folder \"") + LastName(path) + QLatin1Char('"');
  // The window keeps painting while the folder is measured, and a walk over a whole drive can be
  // stopped.
  QProgressDialog progress(this);
  progress.setObjectName(QStringLiteral("TreeSizeProgress"));
  progress.setWindowTitle(window()->windowTitle());
  progress.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  progress.setWindowModality(Qt::WindowModal);
  progress.setLabelText(QString::fromUtf8("Die Größe von %1 wird ermittelt …").arg(path));
  progress.setCancelButtonText(QStringLiteral("Abbrechen"));
  progress.setRange(0, 0);
  progress.setMinimumDuration(0);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  MarkAsReportWindow(&progress);
  progress.show();
  BackgroundResult<uint64_t> measured;
  {
    WaitCursor wait;
    // The sizes of every file in the folder and in all folders below it, hidden, system and read-only
    // ones included, asked for by several threads at once.
    measured = RunInBackground<uint64_t>(
        [folder = U8(path)](const std::atomic<bool>& cancel) {
          // "Abbrechen" stops the count itself, not only the waiting for it.
          FolderSizeControl control;
          control.Cancel = &cancel;
          return MeasureFolderTree(platform::Os(), folder, kFolderSizeThreads, control).Bytes;
        },
        &progress);
  }
  if (!measured.Value) {
    progress.hide();
    if (!measured.Cancelled) ErrorBox(Q(measured.Error));
    return;
  }
  {
    progress.setLabelText(QString::fromUtf8("Die Ordner von %1 werden geladen …").arg(path));
    WaitCursor wait;
    RedrawSuspender suspend(this);
    // Every folder below is loaded once into the tree: each visited node is expanded, so that its own
    // sub-folders are visited next, until the first node outside the folder (a drive's path already
    // ends in a backslash). A link back to a folder the walk is inside of is not expanded, or the walk
    // would never end. Between nodes the window answers, and the user may stop the loading.
    ExpandOneLevel(node);
    const QString prefix = WithBackslash(path);
    if (node->childCount() > 0) {
      platform::IPlatform& os = platform::Os();
      std::vector<platform::FolderId> above = search_detail::FoldersAbove(os, U8(prefix));
      std::unordered_map<QTreeWidgetItem*, platform::FolderId> ids;
      if (const auto id = os.GetFolderId(U8(prefix))) ids[node] = *id;
      size_t visits = 0;
      for (QTreeWidgetItemIterator it(node->child(0)); *it != nullptr; ++it) {
        if (++visits % 32 == 0) {
          QCoreApplication::processEvents();
          if (progress.wasCanceled()) break;
        }
        const QString visited = GetNodePath(*it);
        if (!visited.startsWith(prefix, Qt::CaseInsensitive)) break;
        const std::optional<platform::FolderId> id = os.GetFolderId(U8(visited));
        if (!id) continue;
        ids[*it] = *id;
        bool loop = std::find(above.begin(), above.end(), *id) != above.end();
        for (QTreeWidgetItem* up = (*it)->parent(); up != nullptr && !loop; up = up->parent()) {
          const auto known = ids.find(up);
          loop = known != ids.end() && known->second == *id;
        }
        if (!loop) ExpandOneLevel(*it);
      }
    }
    ExpandToPath(path);
  }
  progress.hide();
  Messages().TypedBox(Kind::Information,
                      QStringLiteral("=== TREE SIZE ===\r\r") + heading +
                          QStringLiteral("\rand all its Sub-Folders  =  ") +
                          TreeSizeText(static_cast<double>(measured.Value.value_or(0))),
                      QMessageBox::Ok);
}

// --- folder contents -----------------------------------------------------------------------------------
// A window inside the tree, covering it, with the files of one folder. It is a child widget, not a
// top-level window, so the rest of the main window stays usable while it is open.

namespace {

const int kPathRole = Qt::UserRole + 1;

QWidget* BuildContentsWindow(TKtDirTree21* tree, const QString& captionPart) {
  auto* window = new QFrame(tree);
  window->setObjectName(QStringLiteral("FolderContentsWindow"));
  window->setFrameShape(QFrame::Panel);
  window->setFrameShadow(QFrame::Raised);
  window->setAutoFillBackground(true);
  window->setWindowTitle(QStringLiteral("Files in ") + captionPart);

  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);

  // A small caption bar like a tool window's.
  auto* caption = new QLabel(window->windowTitle(), window);
  caption->setObjectName(QStringLiteral("Caption"));
  caption->setAutoFillBackground(true);
  QPalette palette = caption->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::HighlightedText));
  caption->setPalette(palette);
  QFont font = caption->font();
  font.setPointSizeF(font.pointSizeF() * 0.9);
  font.setBold(true);
  caption->setFont(font);
  caption->setContentsMargins(3, 1, 3, 1);
  layout->addWidget(caption);

  auto* list = new QListWidget(window);
  list->setObjectName(QStringLiteral("FileList"));
  list->setViewMode(QListView::ListMode);
  list->setIconSize(QSize(16, 16));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setToolTip(QStringLiteral("LeftClick - Select\nDblClick  - Open"));
  layout->addWidget(list, 1);

  auto* strip = new QWidget(window);
  strip->setFixedHeight(22);
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  stripLayout->addStretch(1);
  auto* buttonArea = new QWidget(strip);
  buttonArea->setFixedWidth(80);
  auto* ok = new QPushButton(window->style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&OK"),
                             buttonArea);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setGeometry(1, 1, 60, 22 - 2);
  stripLayout->addWidget(buttonArea);
  layout->addWidget(strip);
  return window;
}

}  // namespace

QWidget* TKtDirTree21::ContentsWindow() const {
  return contentsWindow_.data();
}

void TKtDirTree21::ShowFolderContents() {
  QTreeWidgetItem* node = currentItem();
  if (node == nullptr || Level(node) < 1) return;
  if (contentsWindow_ != nullptr) CloseFolderContents();
  // The folder of the selected node, for the same reason as in a paste.
  folderContentsPath_ = GetNodePath(node);
  const QString captionPart =
      Level(node) == 1 ? QStringLiteral("\" ") + folderContentsPath_.left(1) + QStringLiteral(":\\ \"")
                       : QStringLiteral("\" ..\\") + LastName(folderContentsPath_) + QStringLiteral(" \"");
  collapseAll();
  QWidget* window = BuildContentsWindow(this, captionPart);
  contentsWindow_ = window;
  auto* list = window->findChild<QListWidget*>(QStringLiteral("FileList"));
  {
    WaitCursor wait;
    RedrawSuspender suspend(list);
    const QString folder = WithBackslash(folderContentsPath_);
    QStringList names;
    for (const platform::FindData& entry : platform::Os().FindFiles(U8(folder + "*.*"))) {
      if ((entry.attributes & platform::kAttrDirectory) == 0) names << Q(entry.name);
    }
    // Sorted by caption, in the order the user reads names.
    SortNames(names);
    for (const QString& name : names) {
      auto* item = new QListWidgetItem(FileIcon(name), name, list);
      item->setData(kPathRole, folder + name);
    }
  }
  window->setGeometry(rect());
  window->show();
  window->raise();
  if (list->count() > 0) {
    // The focus mark on the first file, without selecting it.
    list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::NoUpdate);
  }
  list->setFocus();

  connect(list, &QListWidget::itemDoubleClicked, window, [window](QListWidgetItem* item) {
    window->hide();
    const QString path = item->data(kPathRole).toString();
    if (!platform::Os().OpenWithAssociatedProgram(U8(path))) {
      ErrorBox(QStringLiteral("ERROR - Can't ") + QStringLiteral("Open") + QStringLiteral(" file  ") +
               item->text());
    }
    window->show();
  });
  auto* ok = window->findChild<QPushButton*>(QStringLiteral("OkButton"));
  connect(ok, &QPushButton::clicked, this, &TKtDirTree21::CloseFolderContents);
}

void TKtDirTree21::CloseFolderContents() {
  QWidget* window = contentsWindow_.data();
  if (window == nullptr) return;
  selectedFile_.clear();
  auto* list = window->findChild<QListWidget*>(QStringLiteral("FileList"));
  const QList<QListWidgetItem*> selected =
      list != nullptr ? list->selectedItems() : QList<QListWidgetItem*>();
  contentsWindow_ = nullptr;
  window->hide();
  window->deleteLater();
  if (!selected.isEmpty()) {
    selectedFile_ = selected.first()->data(kPathRole).toString();
    DoFileChange();
  }
  setFocus();
  ExpandToPath(folderContentsPath_);
}

// --- network drives ------------------------------------------------------------------------------------

void TKtDirTree21::ConnectNetResource() {
  QChar letter;
  if (!FolderDialogs().ConnectNetworkDrive(this, &letter)) return;
  ReloadTree();
  QTreeWidgetItem* computer = ComputerNode();
  computer->setExpanded(true);
  // The new drive's node, so that selection and SelectedPath name the drive just connected.
  QTreeWidgetItem* drive = DriveNode(letter);
  if (drive == nullptr && computer->childCount() > 0) drive = computer->child(computer->childCount() - 1);
  if (drive != nullptr) {
    setCurrentItem(drive);
    selectedPath_ = GetNodePath(drive);
  }
}

void TKtDirTree21::DisConnectNetResource() {
  FolderDialogs().DisconnectNetworkDrive(this);
  ReloadTree();
  QTreeWidgetItem* computer = ComputerNode();
  computer->setExpanded(true);
  setCurrentItem(computer);
  selectedPath_ = QStringLiteral("Drives");
}

}  // namespace velmor::ui
