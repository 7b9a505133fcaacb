// The folder tree itself: nodes, lazy loading, presses and arrow keys, navigation, label editing.
// The context commands live in KtFileExplorer28Commands.cpp.
#include "ui/KtFileExplorer28.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <vector>

#include "platform/Parallel.h"
#include "platform/Platform.h"
#include "ui/KtFileExplorer28Icons.h"
#include "ui/KtFileExplorer28Internal.h"
#include "ui/MessageService.h"
#include "ui/NameOrder.h"

namespace velmor::ui {

using namespace explorer;

TKtDirTree21::TKtDirTree21(QWidget* parent) : QTreeWidget(parent) {
  EnsureIconTheme();
  setObjectName(QStringLiteral("KtDirTree21"));
  setColumnCount(1);
  setHeaderHidden(true);
  resize(180, 120);
  setIndentation(19);
  setRootIsDecorated(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  // A press on the label of the selected node starts the in-place edit, as F2 does.
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  // Every row has the same height; this keeps folders with many thousands of sub-folders fast.
  setUniformRowHeights(true);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  popUp_ = new TKtDirTree21PopUp(this);
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { LoadChildren(item); });
  ReloadTree();
  ExpandOneLevel(ComputerNode());
}

TKtDirTree21::~TKtDirTree21() = default;

// --- events --------------------------------------------------------------------------------------------

void TKtDirTree21::DoClick() {
  if (OnClick) OnClick(this);
  emit treeClicked();
}

void TKtDirTree21::DoDirChange() {
  if (OnDirChange) OnDirChange(this, selectedPath_);
  emit dirChanged(selectedPath_);
}

void TKtDirTree21::DoFileChange() {
  if (OnFileChange) OnFileChange(this, selectedFile_);
  emit fileChanged(selectedFile_);
}

// --- properties ----------------------------------------------------------------------------------------

void TKtDirTree21::SetPopUpMenuEnabled(bool enabled) {
  popUpMenuEnabled_ = enabled;
}

void TKtDirTree21::SetSelectedPath(const QString& path) {
  if (!SameText(path, selectedPath_)) selectedPath_ = path;
}

void TKtDirTree21::SetSelectedFile(const QString& file) {
  if (!SameText(file, selectedFile_)) selectedFile_ = file;
}

void TKtDirTree21::SetInitialDir(const QString& dir) {
  if (label_ != nullptr) label_->setText(dir);
  if (dir.isEmpty()) return;
  // The stored value always ends in a backslash, so the same folder given without one navigates again.
  if (SameText(dir, initialDir_)) return;
  const QString withSlash = WithBackslash(dir);
  if (!platform::Os().DirectoryExists(U8(withSlash))) return;
  initialDir_ = withSlash;
  ExpandToPath(initialDir_);
  if (label_ != nullptr) label_->setText(initialDir_);
}

// --- nodes ---------------------------------------------------------------------------------------------

int TKtDirTree21::Level(const QTreeWidgetItem* node) {
  int level = 0;
  for (const QTreeWidgetItem* n = node ? node->parent() : nullptr; n != nullptr; n = n->parent()) ++level;
  return level;
}

bool TKtDirTree21::HasChildrenFlag(const QTreeWidgetItem* node) {
  return node != nullptr &&
         (node->childCount() > 0 || node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
}

bool TKtDirTree21::RemoteDrive(QChar letter) const {
  const int index = letter.toUpper().unicode() - 'A';
  return index >= 0 && index < 26 && remoteDrives_[static_cast<size_t>(index)];
}

QTreeWidgetItem* TKtDirTree21::DriveNode(QChar letter) const {
  QTreeWidgetItem* computer = ComputerNode();
  if (computer == nullptr) return nullptr;
  for (int i = 0; i < computer->childCount(); ++i) {
    if (SameText(computer->child(i)->text(0).mid(2, 1), QString(letter))) return computer->child(i);
  }
  return nullptr;
}

QString TKtDirTree21::GetNodePath(const QTreeWidgetItem* node) const {
  QString path;
  for (const QTreeWidgetItem* n = node; n != nullptr; n = n->parent()) {
    const int level = Level(n);
    if (level >= 2) {
      path = path.isEmpty() ? n->text(0) : n->text(0) + QLatin1Char('\\') + path;
    } else if (level == 1) {
      // The drive letter and its colon are characters 3 and 4 of " (C:)  name".
      path = n->text(0).mid(2, 2) + QLatin1Char('\\') + path;
    }
  }
  return path;
}

void TKtDirTree21::AddComputerNode() {
  auto* computer = new QTreeWidgetItem(QStringList(QStringLiteral("Arbeitsplatz")));
  computer->setIcon(0, ComputerIcon());
  computer->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  computer->setFlags(computer->flags() & ~Qt::ItemIsEditable);
  addTopLevelItem(computer);
}

void TKtDirTree21::AddDriveNodes() {
  RedrawSuspender suspend(this);
  QTreeWidgetItem* computer = ComputerNode();
  auto& os = platform::Os();
  const uint32_t mask = os.LogicalDrives();
  QList<QTreeWidgetItem*> drives;
  for (int i = 0; i < 26; ++i) {
    remoteDrives_[static_cast<size_t>(i)] = false;
    if ((mask & (1u << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    const QString display = Q(os.DriveDisplayName(letter));
    const qsizetype bracket = display.indexOf(QLatin1Char('('));
    const QString namePart = bracket < 0 ? QString() : display.left(bracket);
    auto* drive = new QTreeWidgetItem(
        QStringList(QStringLiteral(" (") + QLatin1Char(letter) + QStringLiteral(":)  ") + namePart));
    // The expand button comes without touching the drive, so a slow or absent drive never stalls.
    drive->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    drive->setFlags(drive->flags() & ~Qt::ItemIsEditable);
    const platform::DriveType type = os.GetDriveType(letter);
    drive->setIcon(0, DriveIcon(type));
    if (type == platform::DriveType::Remote) remoteDrives_[static_cast<size_t>(i)] = true;
    drives << drive;
  }
  if (computer != nullptr) computer->addChildren(drives);
}

bool TKtDirTree21::HasSubFolders(const QString& path) const {
  return HasSubFolder(U8(path));
}

bool TKtDirTree21::HasSubFolder(const std::string& path) {
  auto listing = platform::Os().ListFolder(path);
  if (!listing) return false;
  for (size_t i = 0, n = listing->Count(); i < n; ++i) {
    if (listing->IsDirectory(i) && !IsDotName(listing->Name(i))) return true;
  }
  return false;
}

void TKtDirTree21::AddSubFolderNodes(const QString& path, QTreeWidgetItem* parent) {
  const QString p = WithBackslash(path);
  const bool remote = !p.isEmpty() && RemoteDrive(p.at(0));
  auto& os = platform::Os();
  auto listing = os.ListFolder(U8(p));
  if (!listing) return;
  std::vector<std::string> names;
  for (size_t i = 0, n = listing->Count(); i < n; ++i) {
    if (listing->IsDirectory(i) && !IsDotName(listing->Name(i))) names.emplace_back(listing->Name(i));
  }
  listing.reset();

  // Every sub-folder is probed for sub-folders of its own, all at once: with a cold cache each probe
  // waits for the disk, which serves many of them in the time of one. A probe names its folder in the
  // direct host form, built from the names as listed, so that none resolves the drive path again.
  // Folders on network drives are never probed: they keep their button until expanded once.
  std::vector<char> hasChildren(names.size(), remote ? 1 : 0);
  if (!remote) {
    const std::optional<std::string> host = os.ToHost(U8(p));
    const std::string base = host ? platform::DirectHostForm(*host) : std::string();
    const std::string& folder = base.empty() ? U8(p) : base;
    platform::ForEachParallel(names.size(), kProbeThreads,
                              [&](size_t i) { hasChildren[i] = HasSubFolder(folder + names[i]) ? 1 : 0; });
  }

  QStringList texts;
  texts.reserve(static_cast<qsizetype>(names.size()));
  for (const std::string& name : names) texts << Q(name);
  const std::vector<size_t> order = SortedOrder(texts);
  const QIcon icon = FolderIcon();
  const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
  QList<QTreeWidgetItem*> children;
  children.reserve(static_cast<qsizetype>(names.size()));
  for (const size_t i : order) {
    auto* child = new QTreeWidgetItem(QStringList(texts[static_cast<qsizetype>(i)]));
    child->setIcon(0, icon);
    child->setFlags(flags);
    child->setChildIndicatorPolicy(hasChildren[i] ? QTreeWidgetItem::ShowIndicator
                                                  : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    children << child;
  }
  // The widget is filled once, with every node at the same time.
  parent->addChildren(children);
}

void TKtDirTree21::LoadChildren(QTreeWidgetItem* node) {
  if (node == nullptr || node->childCount() > 0) return;
  RedrawSuspender suspend(this);
  if (Level(node) == 0) {
    AddDriveNodes();
    return;
  }
  node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  AddSubFolderNodes(GetNodePath(node), node);
}

void TKtDirTree21::ExpandOneLevel(QTreeWidgetItem* node) {
  if (node == nullptr) return;
  LoadChildren(node);
  node->setExpanded(true);
}

void TKtDirTree21::ReloadTree() {
  RedrawSuspender suspend(this);
  clear();
  AddComputerNode();
  AddDriveNodes();
}

// --- navigation ----------------------------------------------------------------------------------------

void TKtDirTree21::ExpandToPath(const QString& path) {
  if (path.size() <= 1 || !platform::Os().DirectoryExists(U8(path))) return;
  QString rest = WithBackslash(path);
  const QString full = rest;
  {
    RedrawSuspender suspend(this);
    if (ComputerNode() == nullptr) AddComputerNode();
    QTreeWidgetItem* node = ComputerNode();
    if (node->childCount() == 0) AddDriveNodes();
    // The computer node is the only top-level node: this collapses it with all its descendants.
    if (node->isExpanded()) collapseAll();
    while (rest.contains(QLatin1Char('\\'))) {
      const qsizetype cut = rest.indexOf(QLatin1Char('\\'));
      const QString component = rest.left(cut + 1);
      rest = rest.mid(cut + 1);
      QTreeWidgetItem* first = node->childCount() > 0 ? node->child(0) : nullptr;
      if (first == nullptr) {
        if (!rest.contains(QLatin1Char('\\'))) break;
        return;
      }
      // Two folders may differ in case only (apfel and Apfel): the exact spelling is the folder that
      // path names, as on the disk; only without one does a spelling that differs in case match. The
      // visit runs on past the end of the child list, so a folder already loaded elsewhere below can
      // match when the name is missing among the children of the node reached.
      const auto keyOf = [](const QTreeWidgetItem* item) {
        return Level(item) == 1 ? item->text(0).mid(2, 2) + QLatin1Char('\\')
                                : item->text(0) + QLatin1Char('\\');
      };
      QTreeWidgetItem* match = nullptr;
      for (int i = 0; i < node->childCount() && match == nullptr; ++i)
        if (keyOf(node->child(i)) == component) match = node->child(i);
      for (QTreeWidgetItemIterator it(first); *it != nullptr && match == nullptr; ++it)
        if (Level(*it) >= 1 && SameText(keyOf(*it), component)) match = *it;
      if (match == nullptr) return;
      node = match;
      setCurrentItem(node);
      ExpandOneLevel(node);
    }
    if (currentItem() != nullptr) scrollToItem(currentItem());
  }
  if (!SameText(selectedPath_, full)) selectedPath_ = full;
  DoDirChange();
}

bool TKtDirTree21::DriveReady(QChar letter, bool showMessage) {
  const QChar upper = letter.toUpper();
  const bool valid = upper >= QLatin1Char('A') && upper <= QLatin1Char('Z');
  if (!valid) {
    Messages().TypedBox(IMessageService::Kind::Error, QStringLiteral("Not a valid Drive ID"),
                        QMessageBox::Ok);
  }
  uint64_t total = 0;
  uint64_t available = 0;
  const bool ready = valid && platform::Os().DriveSpace(static_cast<char>(upper.unicode()), total, available);
  if (!ready && showMessage) {
    Messages().Beep();
    Messages().TypedBox(IMessageService::Kind::Warning,
                        QStringLiteral("There is no disk in Drive ") + upper + QLatin1Char('\r') +
                            QStringLiteral("or Drive ") + upper + QStringLiteral(": is not ready"),
                        QMessageBox::Ok);
  }
  return ready;
}

// --- presses and keys ----------------------------------------------------------------------------------

bool TKtDirTree21::OnLabelOrIcon(QTreeWidgetItem* item, const QPoint& pos) const {
  // The cell starts after the indentation and the expand button; the icon and the label text take
  // its left part, the rest of the row is empty space.
  const QRect cell = visualItemRect(item);
  const int width = iconSize().width() + 4 + fontMetrics().horizontalAdvance(item->text(0)) + 8;
  return cell.contains(pos) && pos.x() < cell.left() + width;
}

void TKtDirTree21::NodePicked(QTreeWidgetItem* node) {
  QString nodePath;
  if (node == ComputerNode() && node->childCount() == 0) {
    AddDriveNodes();
  } else {
    nodePath = GetNodePath(node);
  }
  selectedPath_ = Level(node) == 0 ? QStringLiteral("Drives") : nodePath;
  if (Level(node) == 1 && !selectedPath_.isEmpty()) {
    const char letter = static_cast<char>(selectedPath_.at(0).toUpper().unicode());
    const platform::DriveType type = platform::Os().GetDriveType(letter);
    if (type == platform::DriveType::Removable || type == platform::DriveType::CdRom) {
      if (!DriveReady(selectedPath_.at(0), true)) return;
    }
  }
  DoDirChange();
}

void TKtDirTree21::PressedAt(const QPoint& pos) {
  QTreeWidgetItem* item = itemAt(pos);
  if (item == nullptr || !OnLabelOrIcon(item, pos)) return;
  setCurrentItem(item);
  NodePicked(item);
}

void TKtDirTree21::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  PressedAt(event->position().toPoint());
}

void TKtDirTree21::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like the first.
  QTreeWidget::mouseDoubleClickEvent(event);
  PressedAt(event->position().toPoint());
}

void TKtDirTree21::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && viewport()->rect().contains(event->position().toPoint())) {
    DoClick();
  }
}

void TKtDirTree21::keyReleaseEvent(QKeyEvent* event) {
  QTreeWidget::keyReleaseEvent(event);
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
      if (event->isAutoRepeat()) return;
      if (currentItem() != nullptr) NodePicked(currentItem());
      break;
    default:
      break;
  }
}

void TKtDirTree21::contextMenuEvent(QContextMenuEvent* event) {
  if (!popUpMenuEnabled_) {
    QTreeWidget::contextMenuEvent(event);
    return;
  }
  popUp_->PopupAt(event->globalPos());
  event->accept();
}

void TKtDirTree21::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  if (contentsWindow_ != nullptr) contentsWindow_->setGeometry(rect());
}

// --- in-place label edit -------------------------------------------------------------------------------
// The toolkit's item-changed notification cannot tell a committed edit from a cancelled one, so the
// editor's commit is intercepted (the node's text is not written by the toolkit; the rename decides)
// and the end of the edit runs the rename once the editor is gone.

bool TKtDirTree21::CanEditLabel(const QTreeWidgetItem* item) const {
  return item != nullptr && !readOnly_ && Level(item) >= 2;
}

bool TKtDirTree21::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (!CanEditLabel(itemFromIndex(index))) return false;
  if (!QTreeWidget::edit(index, trigger, event)) return false;
  if (editIndex_ != index) {
    editIndex_ = QPersistentModelIndex(index);
    editCommitted_ = false;
    editText_.clear();
  }
  return true;
}

void TKtDirTree21::commitData(QWidget* editor) {
  if (!editIndex_.isValid()) return;
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    editText_ = line->text();
    editCommitted_ = true;
  }
}

void TKtDirTree21::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const QPersistentModelIndex index = editIndex_;
  const bool committed = editCommitted_;
  const QString text = editText_;
  editIndex_ = QPersistentModelIndex();
  editCommitted_ = false;
  editText_.clear();
  // Tab must not open the editor on the next node.
  if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
    hint = QAbstractItemDelegate::NoHint;
  }
  QTreeWidget::closeEditor(editor, hint);
  if (!index.isValid()) return;  // not our edit, or the node went away meanwhile
  RenameFolder(itemFromIndex(index), committed ? text : QString(), !committed);
}

}  // namespace velmor::ui
