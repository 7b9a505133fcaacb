// The context menu of the folder tree and its commands, on real folders of a temporary prefix.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "platform/Platform.h"
#include "tests/ui/KtFileExplorer28Fixture.h"
#include "tests/ui/ScriptedDialogs.h"
#include "ui/NameOrder.h"

namespace velmor::ui::testing {
namespace {

using Popup = TKtDirTree21PopUp;

class CommandsTest : public TreeTest {
 protected:
  // The enabled entries of the menu, by tag, as the menu computes them when it opens.
  std::vector<int> EnabledEntries() {
    tree->PopUp()->UpdateEnabledStates();
    std::vector<int> tags;
    for (int tag = 1; tag <= 10; ++tag) {
      if (tree->PopUp()->Entry(tag)->isEnabled()) tags.push_back(tag);
    }
    return tags;
  }
  QLineEdit* Editor() { return tree->viewport()->findChild<QLineEdit*>(); }
  // Lets the editor's queued commit run and its deferred deletion happen.
  void FlushDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  bool HostDir(const std::string& path) { return std::filesystem::is_directory(prefix.Abs(path)); }
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

void PressOk(QDialog* dialog) {
  dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

TEST_F(CommandsTest, MenuEntriesAreEnabledByTheSelection) {
  EXPECT_EQ(EnabledEntries(), std::vector<int>({9, 10}));  // nothing selected
  ClickLabel(tree->ComputerNode());
  EXPECT_EQ(EnabledEntries(), std::vector<int>({9, 10}));
  ClickLabel(tree->DriveNode('C'));
  EXPECT_EQ(EnabledEntries(), std::vector<int>({1, 7, 8, 9, 10}));
  Navigate("C:\\EPLAN\\P");
  EXPECT_EQ(EnabledEntries(), std::vector<int>({1, 2, 3, 4, 5, 7, 8, 9, 10}));
  tree->PopUp()->Execute(Popup::kCopyNode);
  EXPECT_EQ(EnabledEntries(), std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(CommandsTest, NewFolderIsNamedInPlaceWithoutAQuestion) {
  Navigate("C:\\EPLAN");
  tree->PopUp()->Execute(Popup::kAddNode);
  EXPECT_TRUE(HostDir("drive_c/EPLAN/Neuer Ordner"));
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\Neuer Ordner\\");
  EXPECT_EQ(DirChanges().last(), "C:\\EPLAN\\Neuer Ordner\\");
  EXPECT_TRUE(tree->NewFolderNaming());
  QLineEdit* editor = Editor();
  ASSERT_NE(editor, nullptr);
  editor->setText("Projekt 7");
  QTest::keyClick(editor, Qt::Key_Return);
  FlushDeletes();
  EXPECT_TRUE(messages.boxes.empty());  // no question while naming a new folder
  EXPECT_TRUE(HostDir("drive_c/EPLAN/Projekt 7"));
  EXPECT_FALSE(HostDir("drive_c/EPLAN/Neuer Ordner"));
  EXPECT_NE(Child(Child(tree->DriveNode('C'), "EPLAN"), "Projekt 7"), nullptr);
  EXPECT_EQ(tree->currentItem(), Child(tree->DriveNode('C'), "EPLAN"));  // the parent is selected
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\Neuer Ordner\\");          // a rename keeps it
  EXPECT_FALSE(tree->NewFolderNaming());
}

TEST_F(CommandsTest, EscapeKeepsTheDefaultNameAndTheNextRenameAsksNothing) {
  Navigate("C:\\EPLAN");
  tree->PopUp()->Execute(Popup::kAddNode);
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClick(Editor(), Qt::Key_Escape);
  FlushDeletes();
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(HostDir("drive_c/EPLAN/Neuer Ordner"));
  EXPECT_TRUE(tree->NewFolderNaming());
  // A second "Neuer Ordner" cannot be made: nothing visible happens.
  Navigate("C:\\EPLAN");
  tree->PopUp()->Execute(Popup::kAddNode);
  EXPECT_EQ(tree->currentItem()->text(0), "EPLAN");
  EXPECT_TRUE(messages.boxes.empty());

  QTreeWidgetItem* m = Child(Child(tree->DriveNode('C'), "EPLAN"), "M");
  tree->RenameFolder(m, "Makros", false);
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(HostDir("drive_c/EPLAN/Makros"));
  EXPECT_FALSE(tree->NewFolderNaming());
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
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].kind, IMessageService::Kind::Confirmation);
  EXPECT_EQ(messages.boxes[0].text,
            "Do you want to rename the selected folder\r\r    From  : Proj1\r    To     : Anlage");
  EXPECT_EQ(proj1->text(0), "Proj1");
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/Proj1"));

  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj1, "Anlage", false);
  EXPECT_EQ(proj1->text(0), "Anlage");
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/Anlage"));
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj1"));

  messages.Clear();
  QTreeWidgetItem* proj2 = Child(proj1->parent(), "Proj2");
  tree->RenameFolder(proj2, "", false);  // empty: the sound only
  tree->RenameFolder(proj2, "A:B", false);
  EXPECT_EQ(messages.beeps, 2);
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text, "Error - Invalid Directory Name\rA:B");
  // A name that exists is refused and said so; the node keeps its text.
  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj2, "Anlage", false);
  EXPECT_EQ(proj2->text(0), "Proj2");
  EXPECT_EQ(messages.Last().kind, IMessageService::Kind::Error);
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/Proj2"));
  // A change of case only is a rename like any other.
  messages.Answer(QMessageBox::Yes);
  tree->RenameFolder(proj2, "PROJ2", false);
  EXPECT_EQ(proj2->text(0), "PROJ2");
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/PROJ2"));
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj2"));
  EXPECT_EQ(messages.boxes.size(), 4u);  // the question only
  // Drives and the computer are never renamed.
  tree->RenameFolder(tree->DriveNode('C'), "X", false);
  EXPECT_EQ(messages.boxes.size(), 4u);
  tree->editItem(tree->DriveNode('C'));
  EXPECT_EQ(Editor(), nullptr);
}

TEST_F(CommandsTest, DeleteMovesTheFolderToTheTrashAfterConfirmation) {
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/seite.txt", "inhalt");
  Navigate("C:\\EPLAN\\P\\Proj1");
  QTreeWidgetItem* proj1 = tree->currentItem();
  messages.Answer(QMessageBox::No);
  tree->PopUp()->Execute(Popup::kDelNode);
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/Proj1"));
  EXPECT_EQ(tree->currentItem(), proj1);
  // The question speaks the language of its caption and buttons.
  EXPECT_EQ(messages.Last().text,
            QString::fromUtf8("Möchten Sie den Ordner \"Proj1\" mit seinem ganzen Inhalt in den Papierkorb "
                              "verschieben?"));

  messages.Answer(QMessageBox::Yes);
  tree->PopUp()->Execute(Popup::kDelNode);
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj1"));
  EXPECT_TRUE(std::filesystem::exists(prefix.Home() + "/.local/share/Trash/files/Proj1/seite.txt"));
  EXPECT_EQ(tree->currentItem()->text(0), "P");
  EXPECT_EQ(ChildTexts(tree->currentItem()), QStringList({"Proj2"}));
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P\\Proj1\\");  // unchanged, as after a rename
  EXPECT_EQ(messages.boxes.size(), 2u);

  // A folder removed behind the tree's back.
  QTreeWidgetItem* proj2 = Child(tree->currentItem(), "Proj2");
  std::filesystem::remove(prefix.Abs("drive_c/EPLAN/P/Proj2"));
  tree->DeleteFolder(proj2);
  EXPECT_EQ(messages.Last().text, "C:\\EPLAN\\P\\Proj2not found");
  EXPECT_EQ(messages.beeps, 1);
}

TEST_F(CommandsTest, CopyAndCutPasteIntoTheSelectedFolderOnce) {
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/a.txt", "a");
  Navigate("C:\\EPLAN\\P\\Proj1");
  tree->PopUp()->Execute(Popup::kCopyNode);
  EXPECT_TRUE(tree->ClipboardFilled());
  EXPECT_EQ(tree->ClipboardPath(), "C:\\EPLAN\\P\\Proj1");
  Navigate("C:\\EPLAN\\M");
  ClearDirChanges();
  tree->PopUp()->Execute(Popup::kPasteNode);
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(prefix.ReadFile("drive_c/EPLAN/M/Proj1/a.txt"), "a");
  EXPECT_TRUE(HostDir("drive_c/EPLAN/P/Proj1"));
  EXPECT_FALSE(tree->ClipboardFilled());
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\M\\");
  EXPECT_EQ(DirChanges(), QStringList({"C:\\EPLAN\\M\\"}));
  EXPECT_EQ(ChildTexts(tree->currentItem()), QStringList({"Proj1"}));

  Navigate("C:\\EPLAN\\P\\Proj2");
  tree->PopUp()->Execute(Popup::kCutNode);
  Navigate("D:\\Daten");
  tree->PopUp()->Execute(Popup::kPasteNode);
  EXPECT_TRUE(HostDir("drive_d/Daten/Proj2"));
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj2"));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(CommandsTest, RefusedOrCancelledPastesFailAndEmptyTheClipboard) {
  prefix.WriteFile("drive_c/EPLAN/P/Proj1/a.txt", "neu");
  Navigate("C:\\EPLAN\\P");
  tree->PopUp()->Execute(Popup::kCopyNode);
  Navigate("C:\\EPLAN\\P\\Proj1");  // into its own sub-folder
  tree->PopUp()->Execute(Popup::kPasteNode);
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text, "File operation failed");
  EXPECT_EQ(messages.boxes[0].kind, IMessageService::Kind::Error);
  EXPECT_FALSE(tree->ClipboardFilled());
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj1/P"));

  // A file in the way is replaced only when the user agrees.
  prefix.WriteFile("drive_c/EPLAN/M/Proj1/a.txt", "alt");
  Navigate("C:\\EPLAN\\P\\Proj1");
  tree->PopUp()->Execute(Popup::kCopyNode);
  Navigate("C:\\EPLAN\\M");
  messages.Clear();
  messages.Answer(QMessageBox::Cancel);
  tree->PopUp()->Execute(Popup::kPasteNode);
  ASSERT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(messages.boxes[0].kind, IMessageService::Kind::Confirmation);
  EXPECT_TRUE(messages.boxes[0].text.contains("a.txt"));
  EXPECT_EQ(messages.boxes[1].text, "File operation failed");
  EXPECT_EQ(prefix.ReadFile("drive_c/EPLAN/M/Proj1/a.txt"), "alt");

  Navigate("C:\\EPLAN\\P\\Proj1");
  tree->PopUp()->Execute(Popup::kCutNode);
  Navigate("C:\\EPLAN\\M");
  messages.Answer(QMessageBox::Yes);
  tree->PopUp()->Execute(Popup::kPasteNode);
  EXPECT_EQ(prefix.ReadFile("drive_c/EPLAN/M/Proj1/a.txt"), "neu");
  EXPECT_FALSE(HostDir("drive_c/EPLAN/P/Proj1"));
}

TEST_F(CommandsTest, TreeSizeCountsTheFolderAndAllItsSubFoldersOnly) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, uintmax_t>> files;  // relative file, size
    const char* sizeText;
  };
  const Row rows[] = {
      {"empty", {}, "0.00 KB"},
      {"500 bytes in two levels", {{"a.bin", 300}, {"Sub/Tief/b.bin", 200}}, "1.00 KB"},
      {"exactly 2 KB", {{"a.bin", 1024}, {".hidden", 1024}}, "2.00 KB"},
      {"above 99999 KB", {{"big.bin", 150000ull * 1024}}, "146.48 MB"},
      {"above 4 GiB", {{"huge.bin", 5ull << 30}, {"x/huge2.bin", 3ull << 30}}, "8,192.00 MB"},
  };
  prefix.WriteFile("drive_d/Daten2/fremd.bin", std::string(4096, 'x'));  // a sibling with a longer name
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(prefix.Abs("drive_d/Daten"));
    prefix.MakeDir("drive_d/Daten");
    for (const auto& [file, size] : row.files) {
      prefix.WriteFile("drive_d/Daten/" + file, "");
      std::filesystem::resize_file(prefix.Abs("drive_d/Daten/" + file), size);  // sparse
    }
    tree->ReloadTree();
    Navigate("D:\\Daten");
    ClearDirChanges();
    messages.Clear();
    tree->PopUp()->Execute(Popup::kGetTreeSize);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].kind, IMessageService::Kind::Information);
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("=== TREE SIZE ===\r\rFolder \"Daten\"\rand all its "
                                                     "Sub-Folders  =  ") +
                                          row.sizeText);
    EXPECT_EQ(tree->SelectedPath(), "D:\\Daten\\");
    EXPECT_EQ(DirChanges(), QStringList({"D:\\Daten\\"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
  // A drive is headed by its root.
  ClickLabel(tree->DriveNode('D'));
  messages.Clear();
  tree->PopUp()->Execute(Popup::kGetTreeSize);
  EXPECT_TRUE(
      messages.Last().text.startsWith("=== TREE SIZE ===\r\rDrive D:\\\rand all its Sub-Folders  =  "));
  EXPECT_EQ(tree->SelectedPath(), "D:\\");
}

TEST_F(CommandsTest, TreeSizeEndsAtLinksBackUpAndCountsEveryFileOnce) {
  prefix.WriteFile("drive_d/Daten/a.bin", std::string(1000, 'a'));
  prefix.WriteFile("drive_d/Daten/Sub/b.bin", std::string(1048, 'b'));
  std::filesystem::create_directory_symlink("..", prefix.Abs("drive_d/Daten/Sub/Hoch"));
  std::filesystem::create_directory_symlink("../..", prefix.Abs("drive_d/Daten/Sub/Laufwerk"));
  tree->ReloadTree();
  Navigate("D:\\Daten\\Sub\\Hoch");  // the user has opened the link once already
  Navigate("D:\\Daten");
  messages.Clear();
  tree->PopUp()->Execute(Popup::kGetTreeSize);
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_TRUE(messages.boxes[0].text.endsWith("Sub-Folders  =  2.00 KB"))
      << messages.boxes[0].text.toStdString();
  EXPECT_EQ(tree->SelectedPath(), "D:\\Daten\\");
}

TEST_F(CommandsTest, TreeSizeUsesTheSeparatorsOfTheUsersLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(TKtDirTree21::TreeSizeText(0), "0,00 KB");
  EXPECT_EQ(TKtDirTree21::TreeSizeText(1), "1,00 KB");
  EXPECT_EQ(TKtDirTree21::TreeSizeText(99999.0 * 1024), "99.999,00 KB");
  EXPECT_EQ(TKtDirTree21::TreeSizeText(99999.5 * 1024), "97,66 MB");
  QLocale::setDefault(saved);
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
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  EXPECT_EQ(names, QStringList({".versteckt", "A.EXF", "b.txt"}));  // files only, sorted
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(list->toolTip(), "LeftClick - Select\nDblClick  - Open");

  // OK without a pick: empty SelectedFile, no event; the folder is shown again.
  ClearDirChanges();
  QTest::mouseClick(window->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
  EXPECT_EQ(tree->ContentsWindow(), nullptr);
  EXPECT_TRUE(tree->SelectedFile().isEmpty());
  EXPECT_TRUE(FileChanges().isEmpty());
  EXPECT_EQ(DirChanges(), QStringList({"C:\\EPLAN\\P\\"}));

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
  EXPECT_EQ(FileChanges(), QStringList({"D:\\wurzel.dat"}));
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
  EXPECT_EQ(ChildTexts(tree->currentItem()), expected);

  tree->PopUp()->Execute(Popup::kShowFolderContents);
  auto* list = tree->ContentsWindow()->findChild<QListWidget*>("FileList");
  QStringList files;
  for (int i = 0; i < list->count(); ++i) files << list->item(i)->text();
  QStringList expectedFiles;
  for (const QString& name : expected) expectedFiles << name + ".txt";
  EXPECT_EQ(files, expectedFiles);
  tree->CloseFolderContents();

  // Another locale, another order: in Swedish ä is a letter of its own after z.
  QStringList swedish = expected;
  SortNames(swedish, QLocale(QLocale::Swedish, QLocale::Sweden));
  EXPECT_EQ(swedish, QStringList({"_x", "10", "9", "alpha", "Alpha2", "Beta", "beta2", "Zeta",
                                  QString::fromUtf8("ähnlich")}));
}

TEST_F(CommandsTest, AFileThatCannotBeOpenedIsReported) {
  prefix.WriteFile("drive_c/EPLAN/P/plan.pdf", "%PDF");
  Navigate("C:\\EPLAN\\P");
  tree->PopUp()->Execute(Popup::kShowFolderContents);
  auto* list = tree->ContentsWindow()->findChild<QListWidget*>("FileList");
  velmor::testing::ScopedEnv noOpener("PATH", prefix.Abs("leer"));  // no program to open files with
  emit list->itemDoubleClicked(list->item(0));
  EXPECT_EQ(messages.Last().text, "ERROR - Can't Open file  plan.pdf");
  EXPECT_TRUE(tree->ContentsWindow()->isVisible());
  tree->CloseFolderContents();
}

TEST_F(CommandsTest, ConnectAndDisconnectNetworkDrives) {
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
  ASSERT_NE(tree->DriveNode('N'), nullptr);
  EXPECT_EQ(tree->currentItem(), tree->DriveNode('N'));
  EXPECT_EQ(tree->SelectedPath(), "N:\\");
  EXPECT_EQ(DirChanges().size(), 1);  // no event from connecting

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
  EXPECT_TRUE(HostDir("mnt/freigabe/Ordner"));  // only the link went away
}

TEST_F(CommandsTest, TheConnectDialogDefaultsToTheLetterAfterTheHighestDrive) {
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
  EXPECT_EQ(messages.Last().kind, IMessageService::Kind::Error);
  EXPECT_EQ(velmor::platform::Os().LogicalDrives() & (1u << 4), 0u);
}

}  // namespace
}  // namespace velmor::ui::testing
