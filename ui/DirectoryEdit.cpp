#include "ui/DirectoryEdit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "platform/Platform.h"
#include "ui/EditButtonParts.h"
#include "ui/Glyphs.h"
#include "ui/MessageService.h"
#include "ui/TextConversion.h"

namespace velmor::ui {

namespace {

using velmor::platform::Os;

bool IsDriveRoot(const QString& path) {
  return path.size() == 3 && path[0].isLetter() && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool FolderExists(const QString& folder) {
  return !folder.isEmpty() && Os().DirectoryExists(U8(folder));
}

QString JoinPath(const QString& folder, const QString& name) {
  return folder.endsWith('\\') ? folder + name : folder + '\\' + name;
}

// Sub-folders and files of a folder as the platform lists them (sorted), hidden and system entries
// left out as a Windows dialog does.
struct FolderContents {
  QStringList folders;
  QStringList files;
  QStringList hiddenFolders;  // left out of folders
};

FolderContents ListContents(const QString& folder) {
  FolderContents contents;
  auto listing = Os().ListFolder(U8(folder));
  if (!listing) return contents;
  for (size_t i = 0; i < listing->Count(); ++i) {
    const std::string_view name = listing->Name(i);
    if (name == "." || name == "..") continue;
    if ((listing->Attributes(i) & (platform::kAttrHidden | platform::kAttrSystem)) != 0) {
      if (listing->IsDirectory(i)) contents.hiddenFolders << Q(std::string(name));
      continue;
    }
    (listing->IsDirectory(i) ? contents.folders : contents.files) << Q(std::string(name));
  }
  return contents;
}

double DpiScale(const QWidget* widget) {
  return widget->logicalDpiX() / 96.0;
}

void CenterOnScreen(QWidget* window) {
  QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  const QSize size = window->frameGeometry().size();
  int left = area.left() + (area.width() - size.width()) / 2;
  int top = area.top() + (area.height() - size.height()) / 2;
  // Keep the whole window on the screen.
  left = std::max(area.left(), std::min(left, area.right() + 1 - size.width()));
  top = std::max(area.top(), std::min(top, area.bottom() + 1 - size.height()));
  window->move(left, top);
}

}  // namespace

bool BrowseFolder(QString& Folder, const QString& Text, int HelpContext) {
  return FolderDialogs().BrowseForFolder(Folder, Text, HelpContext);
}

// ---------------------------------------------------------------------------------------------------

TCustomComboEdit::TCustomComboEdit(QWidget* parent) : QLineEdit(parent) {
  // No dropping of files (AcceptFiles is off), nor of text.
  setAcceptDrops(false);
  container_ = new QWidget(this);
  container_->setObjectName("ButtonContainer");
  button_ = new QToolButton(container_);
  button_->setObjectName("Button");
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setCursor(Qt::ArrowCursor);
  button_->setAutoRaise(true);
  container_->resize(21, 17);
  button_->setGeometry(0, 0, 21, 17);
  // A press on the button first gives the field the focus (selecting all, as entering by keyboard).
  connect(button_, &QToolButton::pressed, this, [this] {
    if (!hasFocus() && focusPolicy() != Qt::NoFocus && isEnabled()) {
      setFocus(Qt::OtherFocusReason);
      if (AutoSelect && directInput_) selectAll();
    }
  });
  connect(button_, &QToolButton::clicked, this, [this] { DoClick(); });
  UpdateLayout();
}

void TCustomComboEdit::SetButtonWidth(int width) {
  buttonWidth_ = width;
  UpdateLayout();
}

void TCustomComboEdit::SetGlyph(const QPixmap& glyph) {
  button_->setIcon(QIcon(glyph));
  button_->setIconSize(glyph.size());
}

QRect TCustomComboEdit::ClientRect() const {
  if (!hasFrame()) return rect();
  QStyleOptionFrame option;
  initStyleOption(&option);
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  return rect().adjusted(frame, frame, -frame, -frame);
}

QRect TCustomComboEdit::EditRect() const {
  const QRect client = ClientRect();
  const int containerWidth = container_->isVisibleTo(this) ? container_->width() : 0;
  return QRect(QPoint(0, 0), QPoint(client.width() - containerWidth - 2, client.height() + 1));
}

void TCustomComboEdit::UpdateLayout() {
  if (inLayout_) return;
  inLayout_ = true;
  const QRect client = ClientRect();
  const bool shown = buttonWidth_ > 1;
  container_->setVisible(shown);
  container_->setGeometry(client.right() + 1 - buttonWidth_, client.top(), buttonWidth_, client.height());
  button_->setGeometry(0, 0, buttonWidth_, client.height());
  setTextMargins(0, 0, shown ? buttonWidth_ + 2 : 0, 0);
  inLayout_ = false;
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  // Never lower than a line of the smaller of the system font and the field's font.
  const int lineHeight =
      std::min(QFontMetrics(QApplication::font()).height(), QFontMetrics(font()).height()) + 4 * 1 + 1;
  if (height() < lineHeight) {
    resize(width(), lineHeight);
    return;
  }
  UpdateLayout();
}

void TCustomComboEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange) UpdateLayout();
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* event) {
  if (IsCutOrPaste(event) && !CutPasteAllowed()) {
    event->accept();
    return;
  }
  const bool typing = !event->text().isEmpty() && event->text()[0].isPrint() &&
                      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  const bool editing = typing || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
  if (!directInput_ && editing) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
  if (QKeySequence(event->keyCombination()) == ClickKey && buttonWidth_ > 0) {
    DoClick();
    event->accept();
    return;
  }
  // Enter inserts nothing and goes no further (the window has no default button).
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) event->accept();
}

void TCustomComboEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (!AutoSelect || !directInput_) deselect();
}

void TCustomComboEdit::contextMenuEvent(QContextMenuEvent* event) {
  PopupEditMenu(this, event->globalPos(), CutPasteAllowed());
}

void TCustomComboEdit::mouseReleaseEvent(QMouseEvent* event) {
  // X11 pastes the selection with the middle button: that is a paste too.
  if (event->button() == Qt::MiddleButton && !CutPasteAllowed()) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void TCustomComboEdit::DoClick() {
  if (isReadOnly()) return;
  ButtonClick();
}

void TCustomComboEdit::ButtonClick() {
  if (OnButtonClick) OnButtonClick(this);
  emit buttonClicked();
}

// ---------------------------------------------------------------------------------------------------

TFileDirEdit::TFileDirEdit(QWidget* parent) : TCustomComboEdit(parent) {
  const QPixmap glyph = DirectoryEditGlyph();
  SetGlyph(glyph);
  SetButtonWidth(std::max(glyph.width() + 6, 21));
}

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : TFileDirEdit(parent) {}

void TDirectoryEdit::ButtonClick() {
  TCustomComboEdit::ButtonClick();  // OnButtonClick
  QString folder = text();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, folder, action);
  if (!action) return;
  if (folder.isEmpty()) folder = initialDir_.isEmpty() ? QString("\\") : initialDir_;
  if (!FolderExists(folder)) folder = "\\";
  // No system error boxes exist here for drives without a medium, so nothing has to be switched off
  // around the dialog.
  if (DialogKind == TDialogKind::BrowseFolder) {
    action = BrowseFolder(folder, DialogText, 0);
  } else {
    action = FolderDialogs().SelectDirectory(window(), folder);
  }
  if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
  if (OnAfterDialog) OnAfterDialog(this, folder, action);
  if (!action) return;
  if (hasSelectedText()) backspace();  // the selected part goes first (one change notification)
  if (!text().isEmpty() && MultipleDirs) {
    setText(text() + ";" + folder);
  } else {
    setText(folder);
  }
  if (FolderExists(folder)) initialDir_ = folder;
}

// ---------------------------------------------------------------------------------------------------

TSelectDirDlg::TSelectDirDlg(QWidget* owner, const QString& startFolder) : QDialog(owner) {
  setObjectName("SelectDirDlg");
  setWindowTitle(QString::fromUtf8("Verzeichnis auswählen"));
  setModal(true);
  const double scale = DpiScale(this);
  auto at = [scale](QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(qRound(left * scale), qRound(top * scale), qRound(width * scale),
                        qRound(height * scale));
  };

  auto* nameCaption = new QLabel("Verzeichnis&name:", this);
  at(nameCaption, 8, 6, 240, 16);
  pathLabel_ = new QLabel(this);
  pathLabel_->setObjectName("DirLabel");
  at(pathLabel_, 8, 22, 320, 16);

  auto* dirCaption = new QLabel("&Verzeichnisse:", this);
  at(dirCaption, 8, 44, 200, 16);
  dirList_ = new QListWidget(this);
  dirList_->setObjectName("DirList");
  dirList_->setIconSize(QSize(16, 16));
  at(dirList_, 8, 60, 200, 140);
  dirCaption->setBuddy(dirList_);

  auto* fileCaption = new QLabel("&Dateien: (*.*)", this);
  at(fileCaption, 216, 44, 120, 16);
  fileList_ = new QListWidget(this);
  fileList_->setObjectName("FileList");
  at(fileList_, 216, 60, 120, 140);
  fileCaption->setBuddy(fileList_);
  nameCaption->setBuddy(dirList_);

  auto* driveCaption = new QLabel("&Laufwerke:", this);
  at(driveCaption, 8, 206, 200, 16);
  driveBox_ = new QComboBox(this);
  driveBox_->setObjectName("DriveCombo");
  driveBox_->setIconSize(QSize(16, 16));
  at(driveBox_, 8, 224, 200, 22);
  driveCaption->setBuddy(driveBox_);

  // "&Hilfe" would sit below "Abbrechen"; without a help context it is hidden and the others move
  // down into its place.
  okButton_ = new QPushButton("OK", this);
  okButton_->setObjectName("OKButton");
  okButton_->setDefault(true);
  at(okButton_, 344, 92, 72, 25);
  cancelButton_ = new QPushButton("Abbrechen", this);
  cancelButton_->setObjectName("CancelButton");
  at(cancelButton_, 344, 124, 72, 25);
  helpButton_ = new QPushButton("&Hilfe", this);
  helpButton_->hide();
  networkButton_ = new QPushButton("Ne&tzwerk...", this);
  networkButton_->setObjectName("NetworkButton");
  at(networkButton_, 344, 224, 72, 25);

  setFixedSize(qRound(424 * scale), qRound(255 * scale));

  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  // A double click opens an entry. Enter does not: it goes to "OK", which returns the folder opened,
  // never one that is merely highlighted.
  connect(dirList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { OpenFolder(item->data(Qt::UserRole).toString()); });
  connect(driveBox_, &QComboBox::activated, this, [this](int index) {
    const QString letter = driveBox_->itemData(index).toString();
    if (!letter.isEmpty()) OpenDrive(letter[0].toLatin1());
  });
  connect(networkButton_, &QPushButton::clicked, this, [this] {
    FolderDialogs().ConnectNetworkDrive(this, nullptr);
    FillDrives();
    if (!current_.isEmpty()) SelectDriveInBox(current_[0].toLatin1());
  });

  FillDrives();
  // The start folder joined with "*.*", made absolute; its folder part is opened.
  const QString pattern = JoinPath(startFolder.isEmpty() ? QString("\\") : startFolder, "*.*");
  const QString full = Q(Os().FullPath(U8(pattern)).value_or(U8(pattern)));
  QString folder = full.left(full.lastIndexOf('\\') + 1);
  if (folder.size() > 3 && folder.endsWith('\\')) folder.chop(1);
  if (folder.size() >= 2 && folder[0].isLetter() && folder[1] == ':') {
    OpenFolder(folder);
  } else {
    OpenFolder(Q(Os().CurrentDirectory()));
  }
  CenterOnScreen(this);
}

void TSelectDirDlg::FillDrives() {
  driveBox_->clear();
  const uint32_t drives = Os().LogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    driveBox_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), Q(Os().DriveDisplayName(letter)),
                       QString(QChar(letter)));
  }
}

void TSelectDirDlg::SelectDriveInBox(char letter) {
  const int index = driveBox_->findData(QString(QChar(letter)).toUpper());
  if (index >= 0) driveBox_->setCurrentIndex(index);
}

void TSelectDirDlg::OpenDrive(char letter) {
  OpenFolder(QString(QChar(letter)).toUpper() + ":\\");
}

void TSelectDirDlg::OpenFolder(const QString& folder) {
  QString path = folder;
  if (path.size() == 2 && path[1] == ':') path += '\\';
  if (path.size() > 3 && path.endsWith('\\')) path.chop(1);
  current_ = path;
  pathLabel_->setText(path);
  if (!path.isEmpty()) SelectDriveInBox(path[0].toUpper().toLatin1());

  dirList_->clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  // The root and every parent down to the current folder, opened and indented by depth.
  const QStringList parts = path.mid(3).split('\\', Qt::SkipEmptyParts);
  QString walked = path.left(3);
  int depth = 0;
  auto add = [this](const QString& label, const QString& full, const QIcon& icon, int indent) {
    auto* item = new QListWidgetItem(icon, QString(indent * 2, ' ') + label, dirList_);
    item->setData(Qt::UserRole, full);
    return item;
  };
  QListWidgetItem* currentItem = add(walked, walked, openIcon, depth);
  for (const QString& part : parts) {
    walked = JoinPath(walked, part);
    currentItem = add(part, walked, openIcon, ++depth);
  }
  const FolderContents contents = ListContents(path);
  for (const QString& sub : contents.folders) add(sub, JoinPath(path, sub), closedIcon, depth + 1);
  dirList_->setCurrentItem(currentItem);

  fileList_->clear();
  fileList_->addItems(contents.files);
}

bool TSelectDirDlg::Execute(QWidget* owner, QString& folder) {
  auto dialog =
      std::make_unique<TSelectDirDlg>(owner != nullptr ? owner : QApplication::activeWindow(), folder);
  if (dialog->exec() != QDialog::Accepted) return false;
  folder = dialog->CurrentFolder();
  return true;
}

// ---------------------------------------------------------------------------------------------------

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;
}  // namespace

TBrowseFolderDlg::TBrowseFolderDlg(QObject* owner) : QObject(owner) {}

TBrowseFolderDlg::~TBrowseFolderDlg() {
  delete dialog_;
}

void TBrowseFolderDlg::Prepare(QWidget* owner) {
  delete dialog_;
  dialog_ = new QDialog(owner != nullptr ? owner : QApplication::activeWindow());
  dialog_->setObjectName("BrowseFolderDlg");
  dialog_->setWindowTitle("Ordner suchen");
  dialog_->setModal(true);
  const double scale = DpiScale(dialog_);
  dialog_->resize(qRound(320 * scale), qRound(360 * scale));

  auto* layout = new QVBoxLayout(dialog_);
  auto* text = new QLabel(DialogText, dialog_);
  text->setObjectName("DialogText");
  text->setWordWrap(true);
  text->setVisible(!DialogText.isEmpty());
  layout->addWidget(text);

  tree_ = new QTreeWidget(dialog_);
  tree_->setObjectName("FolderTree");
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  layout->addWidget(tree_, 1);

  auto* buttons = new QDialogButtonBox(dialog_);
  ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok_->setObjectName("OKButton");
  QPushButton* cancel = buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  cancel->setObjectName("CancelButton");
  if (HelpContext != 0) {
    QPushButton* help = buttons->addButton("&Hilfe", QDialogButtonBox::HelpRole);
    help->setObjectName("HelpButton");
  }
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, dialog_, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, dialog_, &QDialog::reject);

  // The computer node with one child per drive; folders are read when a node is first opened.
  auto* computer = new QTreeWidgetItem(tree_, QStringList{"Arbeitsplatz"});
  computer->setIcon(0, dialog_->style()->standardIcon(QStyle::SP_ComputerIcon));
  computer->setData(0, kLoadedRole, true);
  const uint32_t drives = Os().LogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    auto* drive = new QTreeWidgetItem(computer, QStringList{Q(Os().DriveDisplayName(letter))});
    drive->setIcon(0, dialog_->style()->standardIcon(QStyle::SP_DriveHDIcon));
    drive->setData(0, kPathRole, QString(QChar(letter)) + ":\\");
    drive->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  }
  computer->setExpanded(true);
  connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Populate(item); });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { SelectionChanged(); });

  if (Position == TDialogPosition::dpScreenCenter) CenterOnScreen(dialog_);
  // A start folder that does not exist leaves the browser at its root with its own selection.
  if (FolderExists(FolderName)) {
    OpenAt(Q(Os().FullPath(U8(FolderName)).value_or(U8(FolderName))));
  } else {
    tree_->setCurrentItem(computer);
  }
  SelectionChanged();
  if (OnInitialized) OnInitialized(this);
  emit initialized();
}

void TBrowseFolderDlg::Populate(QTreeWidgetItem* item) {
  if (item->data(0, kLoadedRole).toBool()) return;
  item->setData(0, kLoadedRole, true);
  const QString path = item->data(0, kPathRole).toString();
  const FolderContents contents = ListContents(path);
  const QIcon icon = dialog_->style()->standardIcon(QStyle::SP_DirIcon);
  for (const QString& name : contents.folders) {
    auto* child = new QTreeWidgetItem(item, QStringList{name});
    child->setIcon(0, icon);
    child->setData(0, kPathRole, JoinPath(path, name));
    child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  }
  item->setChildIndicatorPolicy(contents.folders.isEmpty() ? QTreeWidgetItem::DontShowIndicator
                                                           : QTreeWidgetItem::ShowIndicator);
}

void TBrowseFolderDlg::OpenAt(const QString& folder) {
  QTreeWidgetItem* node = tree_->topLevelItem(0);
  if (folder.size() < 3) return;
  const QString root = folder.left(2).toUpper() + "\\";
  QTreeWidgetItem* next = nullptr;
  for (int i = 0; i < node->childCount(); ++i) {
    if (node->child(i)->data(0, kPathRole).toString() == root) next = node->child(i);
  }
  if (next == nullptr) return;
  node = next;
  for (const QString& part : folder.mid(3).split('\\', Qt::SkipEmptyParts)) {
    Populate(node);
    node->setExpanded(true);
    next = nullptr;
    for (int i = 0; i < node->childCount() && next == nullptr; ++i) {
      if (node->child(i)->text(0) == part) next = node->child(i);
    }
    for (int i = 0; i < node->childCount() && next == nullptr; ++i) {
      if (platform::EqualsNoCase(U8(node->child(i)->text(0)), U8(part))) next = node->child(i);
    }
    if (next == nullptr) {
      // A hidden folder on the way to the start folder is shown (that one only), so that the start
      // folder is selected and OK returns it.
      const QString path = node->data(0, kPathRole).toString();
      for (const QString& hidden : ListContents(path).hiddenFolders) {
        if (next == nullptr && platform::EqualsNoCase(U8(hidden), U8(part))) {
          next = new QTreeWidgetItem(node, QStringList{hidden});
          next->setIcon(0, dialog_->style()->standardIcon(QStyle::SP_DirIcon));
          next->setData(0, kPathRole, JoinPath(path, hidden));
          next->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        }
      }
    }
    if (next == nullptr) break;
    node = next;
  }
  tree_->setCurrentItem(node);
  tree_->scrollToItem(node);
}

void TBrowseFolderDlg::SelectionChanged() {
  QTreeWidgetItem* item = tree_->currentItem();
  // The computer node is a virtual item: it has no path and cannot be chosen.
  selectedName_ = item != nullptr ? item->data(0, kPathRole).toString() : QString();
  ok_->setEnabled(FolderExists(selectedName_));
  if (OnSelChanged) OnSelChanged(this);
  emit selChanged();
}

bool TBrowseFolderDlg::Finish(bool accepted) {
  if (dialog_ == nullptr) return false;
  const bool chosen = accepted && ok_->isEnabled() && !selectedName_.isEmpty();
  if (chosen) {
    QString path = selectedName_;
    if (path.endsWith('\\') && !IsDriveRoot(path)) path.chop(1);
    FolderName = path;
  }
  dialog_->deleteLater();
  dialog_ = nullptr;
  tree_ = nullptr;
  ok_ = nullptr;
  return chosen;
}

bool TBrowseFolderDlg::Execute() {
  // The browser is modal: the other windows of the application take no input while it is open, and
  // the window that was active gets the activation back afterwards.
  QWidget* active = QApplication::activeWindow();
  Prepare(active);
  const bool accepted = dialog_->exec() == QDialog::Accepted;
  const bool chosen = Finish(accepted);
  if (active != nullptr) active->activateWindow();
  return chosen;
}

}  // namespace velmor::ui
