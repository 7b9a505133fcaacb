#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/common/TempPrefix.h"
#include "tests/ui/ScriptedDialogs.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/DirectoryEdit.h"

namespace velmor::ui {
namespace {

using velmor::testing::TempPrefix;
using velmor::ui::testing::ScriptedDialogs;

class DirectoryEditTest : public ::testing::Test {
 protected:
  DirectoryEditTest() {
    prefix.MakeDir("drive_c/EPLAN5/P/ALT.P");
    prefix.MakeDir("drive_c/EPLAN5/NS");
    prefix.WriteFile("drive_c/EPLAN5/README.TXT", "x");
    edit.resize(353, 21);
    edit.show();
  }
  TempPrefix prefix;
  velmor::ui::testing::ScriptedMessages messages;
  ScriptedDialogs dialogs;
  TDirectoryEdit edit;
};

TEST_F(DirectoryEditTest, AltDownOpensTheDialogAsTheButtonDoesAndEnterDoesNothing) {
  edit.setFocus();
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_TRUE(dialogs.calls.isEmpty());
  QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  EXPECT_EQ(dialogs.calls, QStringList({"select:\\", "select:\\"}));
  EXPECT_TRUE(edit.text().isEmpty());  // both cancelled
}

TEST_F(DirectoryEditTest, StartFolderIsTheTextThenInitialDirThenTheCurrentDrive) {
  edit.setText("C:\\EPLAN5\\NS");
  dialogs.answers = {std::nullopt};
  edit.DoClick();
  edit.setText("C:\\GIBTESNICHT");
  dialogs.answers = {std::nullopt};
  edit.DoClick();
  EXPECT_EQ(dialogs.calls, QStringList({"select:C:\\EPLAN5\\NS", "select:\\"}));

  // After OK on an existing folder, an empty field starts there.
  dialogs.calls.clear();
  edit.setText("");
  dialogs.answers = {QString("C:\\EPLAN5\\P"), std::nullopt};
  edit.DoClick();
  EXPECT_EQ(edit.text(), "C:\\EPLAN5\\P");
  EXPECT_EQ(edit.InitialDir(), "C:\\EPLAN5\\P");
  edit.setText("");
  edit.DoClick();
  EXPECT_EQ(dialogs.calls, QStringList({"select:\\", "select:C:\\EPLAN5\\P"}));
}

TEST_F(DirectoryEditTest, OkReplacesTheSelectedTextCancelChangesNothing) {
  edit.setText("C:\\EPLAN5");
  QSignalSpy changes(&edit, &QLineEdit::textChanged);
  dialogs.answers = {std::nullopt};
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(edit.text(), "C:\\EPLAN5");

  edit.selectAll();
  dialogs.answers = {QString("C:\\EPLAN5\\NS")};
  edit.DoClick();
  EXPECT_EQ(edit.text(), "C:\\EPLAN5\\NS");
  EXPECT_EQ(changes.count(), 2);  // the deleted selection, then the new folder

  edit.setReadOnly(true);
  edit.DoClick();
  EXPECT_EQ(dialogs.calls.size(), 2);  // a read-only field opens nothing
}

TEST_F(DirectoryEditTest, DirectoryDialogOpensTheStartFolderWithItsParents) {
  TSelectDirDlg dialog(nullptr, "C:\\EPLAN5");
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Verzeichnis auswählen"));
  EXPECT_EQ(dialog.CurrentFolder(), "C:\\EPLAN5");
  auto* dirs = dialog.findChild<QListWidget*>("DirList");
  auto* files = dialog.findChild<QListWidget*>("FileList");
  ASSERT_NE(dirs, nullptr);
  ASSERT_NE(files, nullptr);
  QStringList dirTexts;
  for (int i = 0; i < dirs->count(); ++i) dirTexts << dirs->item(i)->text().trimmed();
  EXPECT_EQ(dirTexts, QStringList({"C:\\", "EPLAN5", "NS", "P"}));
  EXPECT_EQ(files->count(), 1);
  EXPECT_EQ(files->item(0)->text(), "README.TXT");

  // Enter on a highlighted entry is OK for the folder opened, not the highlighted one.
  dialog.show();
  dirs->setFocus();
  dirs->setCurrentRow(3);
  QTest::keyClick(dirs, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.CurrentFolder(), "C:\\EPLAN5");
  // Opening an entry (a double click) makes it the current folder; OK returns that one.
  emit dirs->itemDoubleClicked(dirs->item(3));
  EXPECT_EQ(dialog.CurrentFolder(), "C:\\EPLAN5\\P");
  dialog.OpenDrive('d');
  EXPECT_EQ(dialog.CurrentFolder(), "D:\\");

  // The network button opens its dialog through the seam, like every dialog of the window.
  dialog.findChild<QPushButton*>("NetworkButton")->click();
  EXPECT_EQ(dialogs.calls, QStringList({"connect"}));
}

TEST_F(DirectoryEditTest, DirectoryDialogStartsOnTheCurrentDriveForABackslash) {
  TSelectDirDlg dialog(nullptr, "\\");
  const QString current = dialog.CurrentFolder();
  ASSERT_GE(current.size(), 3);
  EXPECT_EQ(current.mid(1, 2), ":\\");
  EXPECT_EQ(current.size(), 3);
}

TEST_F(DirectoryEditTest, FolderBrowserOffersOkOnlyOnExistingFoldersAndTrimsTheBackslash) {
  TBrowseFolderDlg browser;
  browser.DialogText = QString::fromUtf8("Quellpfad für Eplan-Rahmen");
  browser.FolderName = "c:\\eplan5\\p";
  browser.Prepare(nullptr);
  EXPECT_EQ(browser.SelectedName(), "C:\\EPLAN5\\P");
  EXPECT_TRUE(browser.OkButton()->isEnabled());
  EXPECT_EQ(browser.Dialog()->findChild<QLabel*>("DialogText")->text(), browser.DialogText);

  // The computer node is no folder.
  browser.Tree()->setCurrentItem(browser.Tree()->topLevelItem(0));
  EXPECT_TRUE(browser.SelectedName().isEmpty());
  EXPECT_FALSE(browser.OkButton()->isEnabled());
  EXPECT_FALSE(browser.Finish(true));
  EXPECT_EQ(browser.FolderName, "c:\\eplan5\\p");

  // A start folder inside a hidden folder is selected all the same.
  prefix.MakeDir("drive_c/.einstellungen/EPLAN");
  browser.FolderName = "C:\\.einstellungen\\EPLAN";
  browser.Prepare(nullptr);
  EXPECT_EQ(browser.SelectedName(), "C:\\.einstellungen\\EPLAN");
  EXPECT_TRUE(browser.Finish(true));
  EXPECT_EQ(browser.FolderName, "C:\\.einstellungen\\EPLAN");

  // A drive root keeps its backslash.
  browser.FolderName = "C:\\";
  browser.Prepare(nullptr);
  EXPECT_TRUE(browser.Finish(true));
  EXPECT_EQ(browser.FolderName, "C:\\");

  // A start folder that does not exist opens at the root; Cancel leaves the folder alone.
  browser.FolderName = "C:\\NIRGENDS";
  browser.Prepare(nullptr);
  EXPECT_EQ(browser.Tree()->currentItem(), browser.Tree()->topLevelItem(0));
  EXPECT_FALSE(browser.Finish(false));
  EXPECT_EQ(browser.FolderName, "C:\\NIRGENDS");
}

}  // namespace
}  // namespace velmor::ui
