// The folder tree on a temporary prefix: nodes, navigation, presses and keys, lazy loading, drive
// readiness, and the context menu's commands on real folders.
//
//   C: drive_c/EPLAN/P/{Proj1,Proj2}, drive_c/EPLAN/M, drive_c/.versteckt/Innen, drive_c/windows
//   D: drive_d/Daten (label "Archiv")
//   Z: /   (from the prefix itself)
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"
#include "tests/platform/PlatformTestUtil.h"
#include "tests/ui/Scripted.h"
#include "ui/KtFileExplorer28.h"

namespace velmor::ui::testing {
namespace {

using velmor::platform::Names;
using velmor::platform::Tree;
using velmor::ui::testing::Text;

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.MakeDir("drive_c/EPLAN/P/Proj1");
    prefix.MakeDir("drive_c/EPLAN/P/Proj2");
    prefix.MakeDir("drive_c/EPLAN/M");
    prefix.MakeDir("drive_c/.versteckt/Innen");
    prefix.MakeDir("drive_d/Daten");
    prefix.WriteFile("drive_d/.windows-label", "Archiv\n");
    tree = std::make_unique<TKtDirTree21>();
    // The handlers record the events; each must come with its Qt signal.
    tree->OnDirChange = [this](TKtDirTree21* sender, const QString& path) {
      dirChanges << (sender == tree.get() ? path : "from another sender");
    };
    tree->OnFileChange = [this](TKtDirTree21*, const QString& path) { fileChanges << path; };
    tree->OnClick = [this](TKtDirTree21*) { clicks << tree->SelectedPath(); };
    QObject::connect(tree.get(), &TKtDirTree21::dirChanged, [this] { ++signalCount; });
    QObject::connect(tree.get(), &TKtDirTree21::fileChanged, [this] { ++signalCount; });
    QObject::connect(tree.get(), &TKtDirTree21::treeClicked, [this] { ++signalCount; });
    tree->resize(400, 600);
    tree->show();
  }
  void TearDown() override {
    EXPECT_EQ(signalCount, cleared + dirChanges.size() + fileChanges.size() + clicks.size());
    tree.reset();
  }
  // Forgets the folder events so far.
  void ClearDirChanges() {
    cleared += dirChanges.size();
    dirChanges.clear();
  }

  // Child of a node by its text ("P").
  static QTreeWidgetItem* Child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; node != nullptr && i < node->childCount(); ++i) {
      if (node->child(i)->text(0) == text) return node->child(i);
    }
    return nullptr;
  }
  // A node and the loaded nodes below it (without a node: the whole tree), one a line, indented by
  // depth: "-" expanded, "+" collapsed with a button, " " neither; "*" marks the current node.
  QString Render(QTreeWidgetItem* node = nullptr, int depth = 0) const {
    QString text;
    if (node != nullptr) {
      const char mark = node->isExpanded() ? '-' : TKtDirTree21::HasChildrenFlag(node) ? '+' : ' ';
      text = QString(depth * 2, ' ') + mark + node->text(0) + (tree->currentItem() == node ? "*\n" : "\n");
    }
    QTreeWidgetItem* parent = node != nullptr ? node : tree->invisibleRootItem();
    for (int i = 0; i < parent->childCount(); ++i) {
      text += Render(parent->child(i), node != nullptr ? depth + 1 : 0);
    }
    return text;
  }
  // Presses and releases a mouse button on a node's label (or right of it), as a user clicks it.
  void ClickLabel(QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton, bool beside = false) {
    tree->scrollToItem(node);
    const QRect cell = tree->visualItemRect(node);
    const QPoint at(beside ? cell.right() - 2 : cell.left() + 8, cell.center().y());
    QTest::mouseClick(tree->viewport(), button, Qt::NoModifier, at);
  }
  void Navigate(const QString& path) { tree->ExpandToPath(path); }

  velmor::testing::TempPrefix prefix;
  ScriptedMessages messages;
  std::unique_ptr<TKtDirTree21> tree;
  QStringList dirChanges;   // the paths of OnDirChange, in order
  QStringList fileChanges;  // the paths of OnFileChange
  QStringList clicks;       // SelectedPath at each OnClick
  qsizetype signalCount = 0;
  qsizetype cleared = 0;  // folder events forgotten
};

TEST_F(TreeTest, ExpandToPathMatchesComponentsIgnoringCaseAndEndsWithABackslash) {
  Navigate("c:\\eplan\\p");
  EXPECT_EQ(Render(tree->DriveNode('C')),
            QString::fromUtf8("- (C:)  Lokaler Datenträger \n  +.versteckt\n  -EPLAN\n     M\n    -P*\n"
                              "       Proj1\n       Proj2\n   windows\n"));
  EXPECT_EQ(tree->SelectedPath(), "c:\\eplan\\p\\");

  // A second walk collapses what the first opened; the same folder again raises the event again.
  // Missing folders, "\" and empty text do nothing.
  for (const char* path : {"D:\\", "D:\\", "", "\\", "C:\\Fehlt", "X"}) Navigate(path);
  EXPECT_EQ(Render(), QString::fromUtf8("-Arbeitsplatz\n  + (C:)  Lokaler Datenträger \n"
                                        "    +.versteckt\n    +EPLAN\n       M\n      +P\n         Proj1\n"
                                        "         Proj2\n     windows\n  - (D:)  Archiv *\n     Daten\n"
                                        "  + (Z:)  Lokaler Datenträger \n"));
  EXPECT_EQ(dirChanges, QStringList({"c:\\eplan\\p\\", "D:\\", "D:\\"}));
}

TEST_F(TreeTest, ExpandToPathCanMatchALoadedFolderOfTheSameNameElsewhereBelow) {
  // B is loaded while it holds only Y; Z\X is loaded too. X created inside B afterwards is not in the
  // tree, so the walk goes on past B's children and finds Z\X.
  prefix.MakeDir("drive_c/B/Y");
  prefix.MakeDir("drive_c/Z/X");
  Navigate("C:\\Z\\X");
  Navigate("C:\\B");
  prefix.MakeDir("drive_c/B/X");
  Navigate("C:\\B\\X");
  EXPECT_EQ(tree->GetNodePath(tree->currentItem()), "C:\\Z\\X");
  EXPECT_EQ(tree->SelectedPath(), "C:\\B\\X\\");
  // After a reload only the drives are loaded and the walk finds the right folder.
  tree->ReloadTree();
  Navigate("C:\\B\\X");
  EXPECT_EQ(tree->GetNodePath(tree->currentItem()), "C:\\B\\X");
}

TEST_F(TreeTest, InitialDirNavigatesOnlyWhenTheFolderChanges) {
  QLabel label;
  tree->SetLblShowSelected(&label);
  for (const auto& step : velmor::testing::CaseRows("ui/initial-dir.tsv", 4)) {
    SCOPED_TRACE(step[0]);
    tree->SetInitialDir(QString::fromStdString(step[0]));
    EXPECT_EQ(label.text().toStdString(), step[1]);
    EXPECT_EQ(tree->InitialDir().toStdString(), step[2]);
    EXPECT_EQ(dirChanges.size(), std::stoi(step[3]));
  }
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P\\");
}

TEST_F(TreeTest, PressesAndArrowKeysSetSelectedPathBeforeTheClickHandlerRuns) {
  QLabel label("unverändert");
  tree->SetLblShowSelected(&label);
  ClickLabel(tree->ComputerNode());
  // Arrow keys pick the node they move to: Right expands C: and stays on it; Home is not an arrow and
  // picks nothing.
  tree->setFocus();
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Home})
    QTest::keyClick(tree.get(), key);
  ClickLabel(tree->DriveNode('C'));
  Navigate("C:\\EPLAN\\P");
  ClickLabel(tree->currentItem());
  // A press right of a label changes nothing, but the click still comes.
  ClickLabel(tree->DriveNode('D'), Qt::LeftButton, true);
  EXPECT_EQ(clicks, QStringList({"Drives", "C:\\", "C:\\EPLAN\\P", "C:\\EPLAN\\P"}));
  EXPECT_EQ(dirChanges, QStringList({"Drives", "C:\\", "C:\\", "C:\\.versteckt", "C:\\", "C:\\EPLAN\\P\\",
                                     "C:\\EPLAN\\P"}));
  EXPECT_EQ(label.text(), QString::fromUtf8("unverändert"));  // presses and keys leave the label alone

  // A right-button press picks the node too, but only the left button's release is a click.
  tree->SetPopUpMenuEnabled(false);
  ClickLabel(tree->DriveNode('D'), Qt::RightButton);
  EXPECT_EQ(tree->SelectedPath(), "D:\\");
  EXPECT_EQ(clicks.size(), 4);
}

TEST_F(TreeTest, ShowsOneNodePerDriveAndLoadsFoldersOnceOnFirstExpansionSortedWithHiddenOnes) {
  // Drives get their button without being read; nothing is selected at first.
  const QString drives = QString::fromUtf8(
      "  + (C:)  Lokaler Datenträger \n  + (D:)  Archiv \n"
      "  + (Z:)  Lokaler Datenträger \n");
  EXPECT_EQ(Render(), "-Arbeitsplatz\n" + drives);
  EXPECT_TRUE(tree->SelectedPath().isEmpty());
  EXPECT_EQ(tree->GetNodePath(tree->ComputerNode()), "");
  EXPECT_EQ(tree->GetNodePath(tree->DriveNode('C')), "C:\\");

  prefix.MakeDir("drive_c/EPLAN/a-klein");
  prefix.WriteFile("drive_c/EPLAN/datei.txt", "x");
  QTreeWidgetItem* c = tree->DriveNode('C');
  c->setExpanded(true);
  QTreeWidgetItem* eplan = Child(c, "EPLAN");
  ASSERT_NE(eplan, nullptr);
  eplan->setExpanded(true);
  // Files and "." / ".." never show; the folders below are probed for a button.
  EXPECT_EQ(Render(c),
            QString::fromUtf8("- (C:)  Lokaler Datenträger \n  +.versteckt\n  -EPLAN\n     a-klein\n"
                              "     M\n    +P\n   windows\n"));

  // Not read again: a folder made outside shows only after a reload, which closes everything.
  prefix.MakeDir("drive_c/EPLAN/Neu");
  eplan->setExpanded(false);
  eplan->setExpanded(true);
  EXPECT_EQ(eplan->childCount(), 3);
  tree->ReloadTree();
  EXPECT_EQ(Render(), "+Arbeitsplatz\n" + drives);
  Navigate("C:\\EPLAN");
  EXPECT_EQ(tree->currentItem()->childCount(), 4);
}

// Folders on network drives are never probed for a button; a press on a removable drive without a
// medium warns and raises no folder event.
TEST_F(TreeTest, NetworkAndRemovableDrives) {
  prefix.MakeDir("share/Leer");
  prefix.MakeDir("share/Voll/Innen");
  prefix.AddDrive('n', prefix.Abs("share"));
  prefix.AddDrive('a', prefix.Abs("kein-medium"));  // the target is missing
  prefix.WriteRegistry("[Software\\\\Wine\\\\Drives] 1700000000\n\"n:\"=\"network\"\n\"a:\"=\"floppy\"\n");
  tree->ReloadTree();
  EXPECT_TRUE(tree->RemoteDrive('N'));
  EXPECT_FALSE(tree->RemoteDrive('C'));
  QTreeWidgetItem* n = tree->DriveNode('N');
  ASSERT_NE(n, nullptr);
  n->setExpanded(true);
  EXPECT_EQ(Render(n).section('\n', 1), "  +Leer\n  +Voll\n");  // a button until expanded once
  Child(n, "Leer")->setExpanded(true);
  Child(n, "Leer")->setExpanded(false);
  EXPECT_EQ(Render(n).section('\n', 1), "   Leer\n  +Voll\n");

  ClickLabel(tree->DriveNode('A'));
  EXPECT_TRUE(dirChanges.isEmpty());
  EXPECT_EQ(clicks, QStringList({"A:\\"}));  // the click still comes, with the drive root
  EXPECT_EQ(messages.boxes, QStringList({"Warnung: There is no disk in Drive A\ror Drive A: is not ready"}));
  EXPECT_EQ(messages.beeps, 1);
  // DriveReady itself: a lower-case letter is fine; a non-letter says so and fails.
  EXPECT_TRUE(tree->DriveReady('c', true));
  EXPECT_FALSE(tree->DriveReady('1', false));
  EXPECT_EQ(messages.Last(), "Fehler: Not a valid Drive ID");
  EXPECT_EQ(messages.beeps, 1);
}

using Popup = TKtDirTree21PopUp;

class CommandsTest : public TreeTest {
 protected:
  // The enabled entries of the menu, by tag, as the menu computes them when it opens.
  QString EnabledEntries() {
    tree->PopUp()->UpdateEnabledStates();
    QStringList tags;
    for (int tag = 1; tag <= 10; ++tag) {
      if (tree->PopUp()->Entry(tag)->isEnabled()) tags << QString::number(tag);
    }
    return tags.join(' ');
  }
  QLineEdit* Editor() { return tree->viewport()->findChild<QLineEdit*>(); }
  // Lets the editor's queued commit run and its deferred deletion happen.
  void FlushDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // Copies (or cuts) the folder `from` and pastes it into `to`, as the menu does.
  void PasteInto(const QString& from, const QString& to, int how = Popup::kCopyNode) {
    Navigate(from);
    tree->PopUp()->Execute(how);
    Navigate(to);
    tree->PopUp()->Execute(Popup::kPasteNode);
  }
  // The sorted names in a folder of the prefix.
  Names Entries(const std::string& path) { return velmor::platform::Entries(prefix.Abs(path)); }
};

// Runs `action` and meanwhile answers the first modal dialog that opens with `answer`.
void WithModalDialog(const std::function<void()>& action, const std::function<void(QDialog*)>& answer) {
  bool answered = false;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || answered) return;
    answered = true;
    answer(dialog);
    if (dialog->isVisible()) dialog->reject();  // never leave a box open, even when the answer failed
  });
  timer.start();
  action();
  timer.stop();
  EXPECT_TRUE(answered) << "no dialog opened";
}

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

void PressOk(QDialog* dialog) {
  dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

TEST_F(CommandsTest, MenuEntriesAreEnabledByTheSelection) {
  // Nothing selected, the computer, a drive, a folder, and a folder with something copied.
  QStringList seen = {EnabledEntries()};
  ClickLabel(tree->ComputerNode());
  seen << EnabledEntries();
  ClickLabel(tree->DriveNode('C'));
  seen << EnabledEntries();
  Navigate("C:\\EPLAN\\P");
  seen << EnabledEntries();
  tree->PopUp()->Execute(Popup::kCopyNode);
  seen << EnabledEntries();
  EXPECT_EQ(seen, QStringList({"9 10", "9 10", "1 7 8 9 10", "1 2 3 4 5 7 8 9 10", "1 2 3 4 5 6 7 8 9 10"}));
}

TEST_F(CommandsTest, NewFolderIsNamedInPlaceWithoutAQuestion) {
  Navigate("C:\\EPLAN");
  tree->PopUp()->Execute(Popup::kAddNode);
  EXPECT_EQ(dirChanges.last(), "C:\\EPLAN\\Neuer Ordner\\");
  EXPECT_TRUE(tree->NewFolderNaming());
  ASSERT_NE(Editor(), nullptr);
  Editor()->setText("Projekt 7");
  QTest::keyClick(Editor(), Qt::Key_Return);
  FlushDeletes();
  EXPECT_EQ(Entries("drive_c/EPLAN"), (Names{"M", "P", "Projekt 7"}));
  // The parent is selected; the path stays the new folder's, as after a rename.
  EXPECT_EQ(tree->GetNodePath(Child(tree->currentItem(), "Projekt 7")), "C:\\EPLAN\\Projekt 7");
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\Neuer Ordner\\");
  EXPECT_FALSE(tree->NewFolderNaming());

  // Escape keeps the default name with a beep; a second "Neuer Ordner" cannot be made and nothing
  // visible happens; the next rename still asks nothing.
  tree->PopUp()->Execute(Popup::kAddNode);
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClick(Editor(), Qt::Key_Escape);
  FlushDeletes();
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_TRUE(tree->NewFolderNaming());
  Navigate("C:\\EPLAN");
  tree->PopUp()->Execute(Popup::kAddNode);
  EXPECT_EQ(tree->currentItem()->text(0), "EPLAN");
  tree->RenameFolder(Child(tree->currentItem(), "M"), "Makros", false);
  EXPECT_EQ(Entries("drive_c/EPLAN"), (Names{"Makros", "Neuer Ordner", "P", "Projekt 7"}));
  EXPECT_FALSE(tree->NewFolderNaming());
  EXPECT_TRUE(messages.boxes.empty());  // no question while naming a new folder
}

TEST_F(CommandsTest, RenameAsksAndRefusesBadNames) {
  Navigate("C:\\EPLAN\\P");
  QTreeWidgetItem* proj1 = Child(tree->currentItem(), "Proj1");
  tree->setCurrentItem(proj1);
  tree->PopUp()->Execute(Popup::kEditNode);
  ASSERT_NE(Editor(), nullptr);
  messages.Answer(QMessageBox::No);
  Editor()->setText("Anlage");
  QTest::keyClick(Editor(), Qt::Key_Return);
  FlushDeletes();
  EXPECT_EQ(proj1->text(0), "Proj1");
  EXPECT_EQ(Entries("drive_c/EPLAN/P"), (Names{"Proj1", "Proj2"}));

  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj1, "Anlage", false);
  QTreeWidgetItem* proj2 = Child(proj1->parent(), "Proj2");
  tree->RenameFolder(proj2, "", false);  // empty: the sound only
  tree->RenameFolder(proj2, "A:B", false);
  EXPECT_EQ(messages.beeps, 2);
  // A name that exists is refused and said so; the node keeps its text.
  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj2, "Anlage", false);
  EXPECT_EQ(proj2->text(0), "Proj2");
  // A change of case only is a rename like any other.
  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj2, "PROJ2", false);
  // Drives and the computer are never renamed.
  tree->RenameFolder(tree->DriveNode('C'), "X", false);
  tree->editItem(tree->DriveNode('C'));
  EXPECT_EQ(Editor(), nullptr);

  EXPECT_EQ(Render(proj1->parent()), "-P*\n   Anlage\n   PROJ2\n");
  EXPECT_EQ(Entries("drive_c/EPLAN/P"), (Names{"Anlage", "PROJ2"}));
  EXPECT_EQ(messages.Shown(), Text("folder tree, renames"));
}

TEST_F(CommandsTest, DeleteMovesTheFolderToTheTrashAfterConfirmation) {
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/seite.txt", "inhalt");
  Navigate("C:\\EPLAN\\P\\Proj1");
  messages.Answer(QMessageBox::No);
  tree->PopUp()->Execute(Popup::kDelNode);
  EXPECT_TRUE(prefix.Exists("drive_c/EPLAN/P/Proj1"));
  EXPECT_EQ(tree->GetNodePath(tree->currentItem()), "C:\\EPLAN\\P\\Proj1");

  messages.Answer(QMessageBox::Yes);
  tree->PopUp()->Execute(Popup::kDelNode);
  EXPECT_FALSE(prefix.Exists("drive_c/EPLAN/P/Proj1"));
  EXPECT_EQ(prefix.ReadFile(prefix.Home() + "/.local/share/Trash/files/Proj1/seite.txt").value_or(""),
            "inhalt");
  EXPECT_EQ(Render(tree->currentItem()), "-P*\n   Proj2\n");
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P\\Proj1\\");  // unchanged, as after a rename

  // A folder removed behind the tree's back.
  std::filesystem::remove(prefix.Abs("drive_c/EPLAN/P/Proj2"));
  tree->DeleteFolder(Child(tree->currentItem(), "Proj2"));
  // The question speaks the language of its caption and buttons.
  EXPECT_EQ(messages.Shown(), Text("folder tree, deletes"));
  EXPECT_EQ(messages.beeps, 1);
}

TEST_F(CommandsTest, CopyAndCutPasteIntoTheSelectedFolderOnceOrFailAndEmptyTheClipboard) {
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/a.txt", "a");
  PasteInto("C:\\EPLAN\\P\\Proj1", "C:\\EPLAN\\M");
  // The paste shows the target once more, with the copy in it, and empties the clipboard.
  EXPECT_EQ(dirChanges, QStringList({"C:\\EPLAN\\P\\Proj1\\", "C:\\EPLAN\\M\\", "C:\\EPLAN\\M\\"}));
  EXPECT_EQ(Render(tree->currentItem()), "-M*\n   Proj1\n");
  EXPECT_FALSE(tree->ClipboardFilled());
  PasteInto("C:\\EPLAN\\P\\Proj2", "D:\\Daten", Popup::kCutNode);
  EXPECT_EQ(Tree(prefix.Abs("drive_c/EPLAN")),
            "M/\nM/Proj1/\nM/Proj1/a.txt=a\nP/\nP/Proj1/\nP/Proj1/a.txt=a\n");
  EXPECT_EQ(Tree(prefix.Abs("drive_d/Daten")), "Proj2/\n");
  EXPECT_TRUE(messages.boxes.empty());

  // Into its own sub-folder: refused.
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/a.txt", "neu");
  PasteInto("C:\\EPLAN\\P", "C:\\EPLAN\\P\\Proj1");
  EXPECT_EQ(messages.boxes, QStringList({"Fehler: File operation failed"}));
  EXPECT_FALSE(tree->ClipboardFilled());
  EXPECT_FALSE(prefix.Exists("drive_c/EPLAN/P/Proj1/P"));
  // A file in the way is replaced only when the user agrees.
  messages.Clear();
  messages.Answer(QMessageBox::Cancel);
  PasteInto("C:\\EPLAN\\P\\Proj1", "C:\\EPLAN\\M");
  EXPECT_EQ(messages.Shown(), Text("folder tree, a paste that would replace a file, cancelled"));
  EXPECT_EQ(prefix.ReadFile("drive_c/EPLAN/M/Proj1/a.txt").value_or(""), "a");
  messages.Answer(QMessageBox::Yes);
  PasteInto("C:\\EPLAN\\P\\Proj1", "C:\\EPLAN\\M", Popup::kCutNode);
  EXPECT_EQ(prefix.ReadFile("drive_c/EPLAN/M/Proj1/a.txt").value_or(""), "neu");
  EXPECT_FALSE(prefix.Exists("drive_c/EPLAN/P/Proj1"));
}

TEST(TreeSizeText, KilobytesWithTwoDecimalsAndMegabytesAbove99999) {
  for (const auto& row : velmor::testing::CaseRows("ui/tree-size.tsv", 2))
    EXPECT_EQ(TKtDirTree21::TreeSizeText(std::stod(row[0])), QString::fromStdString(row[1])) << row[0];
}

// The count is the folder's and all its sub-folders' (beyond 4 GiB, not the sibling with a longer name);
// the folders below are loaded into the tree, a link back up (opened once by the user) not again.
TEST_F(CommandsTest, TreeSizeCountsTheFolderAndAllItsSubFoldersOnly) {
  for (const auto& [file, size] : {std::pair{"Daten/huge.bin", 5ull << 30},
                                   {"Daten/Sub/huge2.bin", 3ull << 30},
                                   {"Daten2/fremd.bin", 4096ull}}) {
    prefix.WriteFile(std::string("drive_d/") + file, "");
    std::filesystem::resize_file(prefix.Abs(std::string("drive_d/") + file), size);  // sparse
  }
  std::filesystem::create_directory_symlink("..", prefix.Abs("drive_d/Daten/Sub/Hoch"));
  std::filesystem::create_directory_symlink("../..", prefix.Abs("drive_d/Daten/Sub/Laufwerk"));
  Navigate("D:\\Daten\\Sub\\Hoch");
  Navigate("D:\\Daten");
  ClearDirChanges();
  tree->PopUp()->Execute(Popup::kGetTreeSize);
  EXPECT_EQ(messages.boxes, QStringList({"Information: === TREE SIZE ===\r\rFolder \"Daten\"\rand all its "
                                         "Sub-Folders  =  8,192.00 MB"}));
  // Loaded below the links back up: only what the user had opened.
  EXPECT_EQ(Render(tree->currentItem()), "-Daten*\n  +Sub\n    +Hoch\n      +Sub\n    +Laufwerk\n");
  EXPECT_EQ(dirChanges, QStringList({"D:\\Daten\\"}));  // the folder is shown again
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // A drive is headed by its root.
  ClickLabel(tree->DriveNode('D'));
  messages.Clear();
  tree->PopUp()->Execute(Popup::kGetTreeSize);
  EXPECT_TRUE(messages.Last().startsWith(
      "Information: === TREE SIZE ===\r\rDrive D:\\\rand all its Sub-Folders  =  "));
  EXPECT_EQ(tree->SelectedPath(), "D:\\");
}

TEST_F(CommandsTest, FolderContentsListsTheFilesAndOkReportsThePickedOne) {
  prefix.WriteFile("drive_c/EPLAN/P/b.txt", "b");
  prefix.WriteFile("drive_c/EPLAN/P/A.EXF", "a");
  prefix.WriteFile("drive_c/EPLAN/P/.versteckt", "h");
  Navigate("C:\\EPLAN\\P");
  tree->PopUp()->Execute(Popup::kShowFolderContents);
  QWidget* window = tree->ContentsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->geometry(), tree->rect());
  EXPECT_EQ(window->windowTitle(), "Files in \" ..\\P \"");
  EXPECT_FALSE(tree->DriveNode('C')->isExpanded());
  auto* list = window->findChild<QListWidget*>("FileList");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Texts(list), QStringList({".versteckt", "A.EXF", "b.txt"}));  // files only, sorted
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(list->toolTip(), "LeftClick - Select\nDblClick  - Open");
  // A file that cannot be opened is reported and the list stays.
  {
    velmor::testing::ScopedEnv noOpener("PATH", prefix.Abs("leer"));  // no program to open files with
    emit list->itemDoubleClicked(list->item(1));
  }
  EXPECT_EQ(messages.boxes, QStringList({"Fehler: ERROR - Can't Open file  A.EXF"}));
  EXPECT_TRUE(window->isVisible());

  // OK without a pick: empty SelectedFile, no event; the folder is shown again.
  ClearDirChanges();
  QTest::mouseClick(window->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
  EXPECT_EQ(tree->ContentsWindow(), nullptr);
  EXPECT_TRUE(tree->SelectedFile().isEmpty());
  EXPECT_TRUE(fileChanges.isEmpty());
  EXPECT_EQ(dirChanges, QStringList({"C:\\EPLAN\\P\\"}));

  // On a drive, then with a file picked.
  prefix.WriteFile("drive_d/wurzel.dat", "w");
  ClickLabel(tree->DriveNode('D'));
  tree->PopUp()->Execute(Popup::kShowFolderContents);
  window = tree->ContentsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Files in \" D:\\ \"");
  list = window->findChild<QListWidget*>("FileList");
  ASSERT_GE(list->count(), 1);
  list->findItems("wurzel.dat", Qt::MatchExactly).first()->setSelected(true);
  tree->CloseFolderContents();
  EXPECT_EQ(tree->SelectedFile(), "D:\\wurzel.dat");
  EXPECT_EQ(fileChanges, QStringList({"D:\\wurzel.dat"}));
}

TEST_F(CommandsTest, TheTreeAndTheContentsListSortNamesAsTheUserReadsThem) {
  // Created in an order of their own; the tests run under LANG=C.UTF-8, where the German order
  // stands in for the locale's character-code order.
  const QStringList expected = {"_x",   "10",    "9",   QString::fromUtf8("ähnlich"), "alpha", "Alpha2",
                                "Beta", "beta2", "Zeta"};
  for (const char* name : {"Zeta", "beta2", "9", "Alpha2", "_x", "\xc3\xa4hnlich", "Beta", "alpha", "10"}) {
    prefix.MakeDir(std::string("drive_c/ORDNUNG/") + name);
    prefix.WriteFile(std::string("drive_c/ORDNUNG/") + name + ".txt", "x");
  }
  Navigate("C:\\ORDNUNG");
  tree->PopUp()->Execute(Popup::kShowFolderContents);
  QString expectedTree = "+ORDNUNG*\n";  // closed again for the list
  QStringList expectedFiles;
  for (const QString& name : expected) {
    expectedTree += "   " + name + "\n";
    expectedFiles << name + ".txt";
  }
  EXPECT_EQ(Render(tree->currentItem()), expectedTree);
  EXPECT_EQ(Texts(tree->ContentsWindow()->findChild<QListWidget*>("FileList")), expectedFiles);
  tree->CloseFolderContents();
}

TEST_F(CommandsTest, ConnectAndDisconnectNetworkDrivesAndTheLetterOffered) {
  prefix.MakeDir("mnt/freigabe/Ordner");
  Navigate("C:\\EPLAN");
  // C, D and Z are present, so the letter after the highest does not exist: the highest free one is
  // offered instead (never the floppy letter A:); the user picks N.
  WithModalDialog([&] { tree->PopUp()->Execute(Popup::kConnectNetResource); },
                  [&](QDialog* dialog) {
                    auto* letters = dialog->findChild<QComboBox*>("DriveLetter");
                    EXPECT_EQ(letters->currentText(), "Y:");
                    letters->setCurrentIndex(letters->findText("N:"));
                    dialog->findChild<QLineEdit*>("ShareFolder")
                        ->setText(QString::fromStdString(prefix.Abs("mnt/freigabe")));
                    PressOk(dialog);
                  });
  EXPECT_EQ(tree->GetNodePath(tree->currentItem()), "N:\\");
  EXPECT_EQ(tree->SelectedPath(), "N:\\");
  EXPECT_EQ(dirChanges.size(), 1);  // no event from connecting

  // Disconnect offers the network drives only; N counts as one once the registry says so.
  prefix.WriteRegistry("[Software\\\\Wine\\\\Drives] 1700000000\n\"n:\"=\"network\"\n");
  WithModalDialog([&] { tree->PopUp()->Execute(Popup::kDisConnectNetResource); },
                  [&](QDialog* dialog) {
                    auto* letters = dialog->findChild<QComboBox*>("DriveLetter");
                    EXPECT_EQ(letters->count(), 1);
                    EXPECT_TRUE(letters->currentText().startsWith("N:"));
                    PressOk(dialog);
                  });
  EXPECT_EQ(tree->DriveNode('N'), nullptr);
  EXPECT_EQ(tree->currentItem(), tree->ComputerNode());
  EXPECT_EQ(tree->SelectedPath(), "Drives");
  EXPECT_TRUE(prefix.Exists("mnt/freigabe/Ordner"));  // only the link went away

  // Without Z, the letter after the highest drive is offered; a share's folder that does not exist is
  // refused.
  prefix.RemoveDrive('z');
  tree->ReloadTree();
  ScriptedDialogs dialogs;  // the share's folder is picked through the seam
  dialogs.answers = {QString("/gibt/es/nicht")};
  WithModalDialog([&] { EXPECT_FALSE(ShowConnectNetworkDriveDialog(tree.get())); },
                  [&](QDialog* dialog) {
                    EXPECT_EQ(dialog->findChild<QComboBox*>("DriveLetter")->currentText(), "E:");
                    dialog->findChild<QPushButton*>("Browse")->click();
                    EXPECT_EQ(dialogs.calls, QStringList({"host:"}));
                    EXPECT_EQ(dialog->findChild<QLineEdit*>("ShareFolder")->text(), "/gibt/es/nicht");
                    PressOk(dialog);  // refused: the dialog stays open
                    EXPECT_TRUE(dialog->isVisible());
                  });
  EXPECT_EQ(messages.Last(), "Fehler: Der Ordner \"/gibt/es/nicht\" existiert nicht.");
  EXPECT_EQ(velmor::platform::Os().LogicalDrives() & (1u << 4), 0u);
}

}  // namespace
}  // namespace velmor::ui::testing
