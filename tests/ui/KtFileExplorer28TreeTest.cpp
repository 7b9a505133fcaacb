// The folder tree: nodes, navigation, presses and keys, lazy loading, drive readiness.
#include <QLabel>
#include <QTreeWidgetItemIterator>

#include "tests/ui/KtFileExplorer28Fixture.h"

namespace velmor::ui::testing {
namespace {

TEST_F(TreeTest, ShowsTheComputerWithOneNodePerDriveInLetterOrder) {
  QTreeWidgetItem* computer = tree->ComputerNode();
  ASSERT_NE(computer, nullptr);
  EXPECT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(computer->text(0), "Arbeitsplatz");
  EXPECT_TRUE(computer->isExpanded());
  EXPECT_EQ(ChildTexts(computer),
            QStringList({QString::fromUtf8(" (C:)  Lokaler Datenträger "), " (D:)  Archiv ",
                         QString::fromUtf8(" (Z:)  Lokaler Datenträger ")}));
  // Drives get their button without being read; nothing is selected at first.
  EXPECT_TRUE(TKtDirTree21::HasChildrenFlag(tree->DriveNode('D')));
  EXPECT_EQ(tree->DriveNode('D')->childCount(), 0);
  EXPECT_EQ(tree->currentItem(), nullptr);
  EXPECT_TRUE(tree->SelectedPath().isEmpty());
  EXPECT_EQ(tree->GetNodePath(computer), "");
  EXPECT_EQ(tree->GetNodePath(tree->DriveNode('C')), "C:\\");
  EXPECT_EQ(tree->About(), "Version 2.1.6.0");
}

TEST_F(TreeTest, ExpandToPathMatchesComponentsIgnoringCaseAndEndsWithABackslash) {
  Navigate("c:\\eplan\\p");
  QTreeWidgetItem* c = tree->DriveNode('C');
  QTreeWidgetItem* eplan = Child(c, "EPLAN");
  ASSERT_NE(eplan, nullptr);
  QTreeWidgetItem* p = Child(eplan, "P");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(tree->currentItem(), p);
  EXPECT_TRUE(c->isExpanded() && eplan->isExpanded() && p->isExpanded());
  EXPECT_EQ(ChildTexts(p), QStringList({"Proj1", "Proj2"}));
  EXPECT_EQ(tree->SelectedPath(), "c:\\eplan\\p\\");
  EXPECT_EQ(DirChanges(), QStringList({"c:\\eplan\\p\\"}));
  EXPECT_EQ(tree->GetNodePath(p), "C:\\EPLAN\\P");

  // A second walk collapses what the first opened; the same folder again raises the event again.
  Navigate("D:\\");
  EXPECT_FALSE(eplan->isExpanded());
  EXPECT_EQ(tree->currentItem(), tree->DriveNode('D'));
  EXPECT_TRUE(tree->DriveNode('D')->isExpanded());
  EXPECT_EQ(tree->SelectedPath(), "D:\\");
  Navigate("D:\\");
  EXPECT_EQ(DirChanges().size(), 3);

  // Missing folders, "\" and empty text do nothing.
  for (const QString& ignored : {QString(), QString("\\"), QString("C:\\Fehlt"), QString("X")}) {
    SCOPED_TRACE(ignored.toStdString());
    Navigate(ignored);
    EXPECT_EQ(DirChanges().size(), 3);
    EXPECT_EQ(tree->SelectedPath(), "D:\\");
  }
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
  QTreeWidgetItem* zx = Child(Child(tree->DriveNode('C'), "Z"), "X");
  EXPECT_EQ(tree->currentItem(), zx);
  EXPECT_EQ(tree->SelectedPath(), "C:\\B\\X\\");
  // After a reload only the drives are loaded and the walk finds the right folder.
  tree->ReloadTree();
  Navigate("C:\\B\\X");
  EXPECT_EQ(tree->GetNodePath(tree->currentItem()), "C:\\B\\X");
}

TEST_F(TreeTest, InitialDirNavigatesOnlyWhenTheFolderChanges) {
  QLabel label;
  tree->SetLblShowSelected(&label);

  tree->SetInitialDir("");
  EXPECT_EQ(label.text(), "");
  EXPECT_TRUE(DirChanges().isEmpty());

  tree->SetInitialDir("C:\\EPLAN\\P\\");
  EXPECT_EQ(tree->InitialDir(), "C:\\EPLAN\\P\\");
  EXPECT_EQ(label.text(), "C:\\EPLAN\\P\\");
  tree->SetInitialDir("c:\\eplan\\p\\");  // the same, ignoring case: no walk
  EXPECT_EQ(DirChanges().size(), 1);
  tree->SetInitialDir("C:\\EPLAN\\P");  // without the backslash it never equals the stored value
  EXPECT_EQ(DirChanges().size(), 2);
  EXPECT_EQ(label.text(), "C:\\EPLAN\\P\\");

  // "\" exists (the current drive's root): stored and shown, but no walk; the next assignment of the
  // same folder then walks again.
  tree->SetInitialDir("\\");
  EXPECT_EQ(tree->InitialDir(), "\\");
  EXPECT_EQ(label.text(), "\\");
  EXPECT_EQ(DirChanges().size(), 2);
  tree->SetInitialDir("C:\\EPLAN\\P\\");
  EXPECT_EQ(DirChanges().size(), 3);

  // A missing folder only reaches the label.
  tree->SetInitialDir("C:\\Gibt\\Es\\Nicht");
  EXPECT_EQ(label.text(), "C:\\Gibt\\Es\\Nicht");
  EXPECT_EQ(tree->InitialDir(), "C:\\EPLAN\\P\\");
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P\\");
  EXPECT_EQ(DirChanges().size(), 3);
}

TEST_F(TreeTest, PressesSetSelectedPathBeforeTheClickHandlerRuns) {
  QLabel label("unverändert");
  tree->SetLblShowSelected(&label);
  ClickLabel(tree->ComputerNode());
  EXPECT_EQ(tree->SelectedPath(), "Drives");

  ClickLabel(tree->DriveNode('C'));
  EXPECT_EQ(tree->SelectedPath(), "C:\\");

  Navigate("C:\\EPLAN\\P");
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P\\");
  ClickLabel(tree->currentItem());
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P");

  EXPECT_EQ(clicks, QStringList({"Drives", "C:\\", "C:\\EPLAN\\P"}));
  EXPECT_EQ(DirChanges(), QStringList({"Drives", "C:\\", "C:\\EPLAN\\P\\", "C:\\EPLAN\\P"}));
  EXPECT_EQ(label.text(), QString::fromUtf8("unverändert"));  // presses leave the label alone

  // A press right of a label changes nothing, but the click still comes.
  QTreeWidgetItem* d = tree->DriveNode('D');
  const QRect cell = tree->visualItemRect(d);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(cell.right() - 2, cell.center().y()));
  EXPECT_EQ(tree->SelectedPath(), "C:\\EPLAN\\P");
  EXPECT_EQ(clicks.size(), 4);
  EXPECT_EQ(DirChanges().size(), 4);

  // A right-button press picks the node too, but only the left button's release is a click.
  tree->SetPopUpMenuEnabled(false);
  ClickLabel(d, Qt::RightButton);
  EXPECT_EQ(tree->SelectedPath(), "D:\\");
  EXPECT_EQ(clicks.size(), 4);
}

TEST_F(TreeTest, ArrowKeysPickTheNodeTheyMoveTo) {
  QLabel label("fest");
  tree->SetLblShowSelected(&label);
  ClickLabel(tree->ComputerNode());
  tree->setFocus();
  QTest::keyClick(tree.get(), Qt::Key_Down);
  EXPECT_EQ(tree->currentItem(), tree->DriveNode('C'));
  EXPECT_EQ(tree->SelectedPath(), "C:\\");
  QTest::keyClick(tree.get(), Qt::Key_Right);  // expands C: and stays on it
  QTest::keyClick(tree.get(), Qt::Key_Down);
  EXPECT_EQ(tree->SelectedPath(), "C:\\.versteckt");
  EXPECT_EQ(DirChanges().mid(1), QStringList({"C:\\", "C:\\", "C:\\.versteckt"}));
  QTest::keyClick(tree.get(), Qt::Key_Home);  // not an arrow: no pick
  EXPECT_EQ(tree->SelectedPath(), "C:\\.versteckt");
  EXPECT_EQ(label.text(), "fest");
}

TEST_F(TreeTest, FoldersAreLoadedOnceOnFirstExpansionSortedWithHiddenOnes) {
  prefix.MakeDir("drive_c/EPLAN/a-klein");
  prefix.WriteFile("drive_c/EPLAN/datei.txt", "x");
  QTreeWidgetItem* c = tree->DriveNode('C');
  c->setExpanded(true);
  QTreeWidgetItem* eplan = Child(c, "EPLAN");
  ASSERT_NE(eplan, nullptr);
  ASSERT_NE(Child(c, ".versteckt"), nullptr);
  EXPECT_EQ(eplan->childCount(), 0);
  EXPECT_TRUE(TKtDirTree21::HasChildrenFlag(eplan));
  EXPECT_TRUE(TKtDirTree21::HasChildrenFlag(Child(c, ".versteckt")));
  eplan->setExpanded(true);
  EXPECT_EQ(ChildTexts(eplan), QStringList({"a-klein", "M", "P"}));  // files and "." / ".." never show
  EXPECT_FALSE(TKtDirTree21::HasChildrenFlag(Child(eplan, "M")));    // probed: empty
  EXPECT_TRUE(TKtDirTree21::HasChildrenFlag(Child(eplan, "P")));

  // Not read again: a folder made outside shows only after a reload.
  prefix.MakeDir("drive_c/EPLAN/Neu");
  eplan->setExpanded(false);
  eplan->setExpanded(true);
  EXPECT_EQ(eplan->childCount(), 3);
  tree->ReloadTree();
  EXPECT_EQ(tree->currentItem(), nullptr);
  EXPECT_FALSE(tree->ComputerNode()->isExpanded());
  Navigate("C:\\EPLAN");
  EXPECT_EQ(tree->currentItem()->childCount(), 4);
}

TEST_F(TreeTest, FoldersOnNetworkDrivesAreNeverProbed) {
  prefix.MakeDir("share/Leer");
  prefix.MakeDir("share/Voll/Innen");
  prefix.AddDrive('n', prefix.Abs("share"));
  prefix.WriteRegistry("[Software\\\\Wine\\\\Drives] 1700000000\n\"n:\"=\"network\"\n");
  tree->ReloadTree();
  EXPECT_TRUE(tree->RemoteDrive('N'));
  EXPECT_FALSE(tree->RemoteDrive('C'));
  QTreeWidgetItem* n = tree->DriveNode('N');
  ASSERT_NE(n, nullptr);
  n->setExpanded(true);
  QTreeWidgetItem* empty = Child(n, "Leer");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(TKtDirTree21::HasChildrenFlag(empty));  // button until expanded once
  empty->setExpanded(true);
  EXPECT_FALSE(TKtDirTree21::HasChildrenFlag(empty));
  EXPECT_EQ(empty->childCount(), 0);
}

TEST_F(TreeTest, APressOnARemovableDriveWithoutMediumWarnsAndRaisesNothing) {
  prefix.AddDrive('a', prefix.Abs("kein-medium"));  // the target is missing
  prefix.WriteRegistry("[Software\\\\Wine\\\\Drives] 1700000000\n\"a:\"=\"floppy\"\n");
  tree->ReloadTree();
  ClickLabel(tree->DriveNode('A'));
  EXPECT_EQ(tree->SelectedPath(), "A:\\");
  EXPECT_TRUE(DirChanges().isEmpty());
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].kind, IMessageService::Kind::Warning);
  EXPECT_EQ(messages.boxes[0].text, "There is no disk in Drive A\ror Drive A: is not ready");
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_EQ(clicks, QStringList({"A:\\"}));  // the click still comes, with the drive root

  // DriveReady itself: a lower-case letter is fine; a non-letter says so and fails.
  EXPECT_TRUE(tree->DriveReady('c', true));
  EXPECT_FALSE(tree->DriveReady('1', false));
  EXPECT_EQ(messages.Last().text, "Not a valid Drive ID");
  EXPECT_EQ(messages.beeps, 1);
}

}  // namespace
}  // namespace velmor::ui::testing
