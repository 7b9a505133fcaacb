// The edit fields with a button: the plain one and the one that picks a folder, with its dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include "tests/common/TempPrefix.h"
#include "tests/ui/Scripted.h"
#include "ui/DirectoryEdit.h"
#include "ui/Glyphs.h"
#include "ui/QxEditBtn.h"

namespace velmor::ui {
namespace {

using velmor::testing::TempPrefix;
using velmor::ui::testing::ScriptedDialogs;
using velmor::ui::testing::ScriptedMessages;

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
  ScriptedMessages messages;
  ScriptedDialogs dialogs;
  TDirectoryEdit edit;
};

TEST_F(DirectoryEditTest, ButtonAndAltDownOpenTheDialogAtTheFieldsFolderAndOkReplacesTheSelection) {
  // Enter opens nothing; Alt+Down opens the dialog as the button does, at the current drive for an
  // empty field.
  edit.setFocus();
  QTest::keyClick(&edit, Qt::Key_Return);
  QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  // It starts at the text when that folder exists, else at the current drive; Cancel changes nothing.
  edit.setText("C:\\EPLAN5\\NS");
  QSignalSpy changes(&edit, &QLineEdit::textChanged);
  edit.DoClick();
  EXPECT_EQ(changes.count(), 0);
  edit.setText("C:\\GIBTESNICHT");
  edit.DoClick();
  // OK replaces the selected text, and an empty field then starts at that folder.
  changes.clear();
  edit.selectAll();
  dialogs.answers = {QString("C:\\EPLAN5\\P")};
  edit.DoClick();
  EXPECT_EQ(edit.text(), "C:\\EPLAN5\\P");
  EXPECT_EQ(changes.count(), 2);  // the deleted selection, then the new folder
  edit.setText("");
  edit.DoClick();
  edit.setReadOnly(true);
  edit.DoClick();  // a read-only field opens nothing
  EXPECT_EQ(dialogs.calls, QStringList({"select:\\", "select:\\", "select:C:\\EPLAN5\\NS", "select:\\",
                                        "select:\\", "select:C:\\EPLAN5\\P"}));
}

TEST_F(DirectoryEditTest, DirectoryDialogOpensTheStartFolderWithItsParents) {
  TSelectDirDlg dialog(nullptr, "C:\\EPLAN5");
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Verzeichnis auswählen"));
  EXPECT_EQ(dialog.CurrentFolder(), "C:\\EPLAN5");
  auto* dirs = dialog.findChild<QListWidget*>("DirList");
  auto* files = dialog.findChild<QListWidget*>("FileList");
  ASSERT_NE(dirs, nullptr);
  ASSERT_NE(files, nullptr);
  QStringList texts;
  for (QListWidget* list : {dirs, files}) {
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text().trimmed();
  }
  EXPECT_EQ(texts, QStringList({"C:\\", "EPLAN5", "NS", "P", "README.TXT"}));

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
  // "\\" is the root of the current drive.
  EXPECT_EQ(TSelectDirDlg(nullptr, "\\").CurrentFolder().mid(1), ":\\");
}

TEST_F(DirectoryEditTest, FolderBrowserOffersOkOnlyOnExistingFoldersAndTrimsTheBackslash) {
  prefix.MakeDir("drive_c/.einstellungen/EPLAN");
  TBrowseFolderDlg browser;
  browser.DialogText = QString::fromUtf8("Quellpfad für Eplan-Rahmen");
  for (const auto& row : velmor::testing::CaseRows("ui/folder-browser.tsv", 3)) {
    SCOPED_TRACE(row[0]);
    browser.FolderName = QString::fromStdString(row[0]);
    browser.Prepare(nullptr);
    EXPECT_EQ(browser.SelectedName().toStdString(), row[1]);
    EXPECT_EQ(browser.OkButton()->isEnabled(), !row[1].empty());
    EXPECT_EQ(browser.Finish(true), !row[1].empty());
    EXPECT_EQ(browser.FolderName.toStdString(), row[2]);
  }
  // Cancel leaves the folder alone.
  browser.FolderName = "c:\\eplan5";
  browser.Prepare(nullptr);
  EXPECT_EQ(browser.Dialog()->findChild<QLabel*>("DialogText")->text(), browser.DialogText);
  EXPECT_FALSE(browser.Finish(false));
  EXPECT_EQ(browser.FolderName, "c:\\eplan5");
}

class QxEditBtnTest : public ::testing::Test {
 protected:
  QxEditBtnTest() {
    edit.resize(275, 21);
    edit.show();  // a hidden widget gets its resize events only when shown
    edit.SetGlyph(OpenFolderGlyph());
    edit.OnBtnClick = [this](TQxEditBtn* sender) {
      events << (sender == &edit ? "handler" : "other sender");
    };
    QObject::connect(&edit, &TQxEditBtn::btnClicked, [this] { events << "signal"; });
  }
  ScriptedMessages messages;
  TQxEditBtn edit;
  QStringList events;
};

TEST(QxEditBtnPaint, ButtonIsShownFromTheFirstPaintAndTakesNoFocus) {
  TQxEditBtn edit;
  EXPECT_FALSE(edit.Button()->isVisibleTo(&edit));
  edit.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
  QTRY_VERIFY(edit.Button()->isVisible());
  EXPECT_EQ(edit.Button()->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(edit.Button()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(QxEditBtnTest, OnlyAClickRaisesOnBtnClickWithTheEditAndAReadOnlyFieldOnlyBeeps) {
  edit.setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_F4, Qt::Key_Down, Qt::Key_Space}) QTest::keyClick(&edit, key);
  QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  EXPECT_EQ(messages.beeps, 0);
  edit.setReadOnly(true);
  QTest::mouseClick(edit.Button(), Qt::LeftButton);  // the sound only
  EXPECT_EQ(messages.beeps, 1);
  edit.OnBtnClick = nullptr;
  edit.setReadOnly(false);
  edit.BtnClick();  // no handler: only the signal
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_EQ(events, QStringList({"handler", "signal", "signal"}));
}

TEST_F(QxEditBtnTest, CutAndPasteNeedEditorEnabledButTypingDoesNot) {
  edit.setFocus();
  QApplication::clipboard()->setText("PASTE");
  edit.SetEditorEnabled(false);
  QTest::keyClicks(&edit, "ab");
  EXPECT_EQ(edit.text(), "ab");
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), "ab");
  EXPECT_EQ(messages.beeps, 0);  // dropped silently

  edit.SetEditorEnabled(true);
  edit.setCursorPosition(2);
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), "abPASTE");
}

}  // namespace
}  // namespace velmor::ui
