#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QDropEvent>
#include <QHelpEvent>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "core/ProjectTransfer.h"
#include "tests/common/DemoStationWorld.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/platform/PlatformTestUtil.h"
#include "tests/ui/Scripted.h"
#include "ui/DirectoryEdit.h"
#include "ui/ElidedPathLabel.h"
#include "ui/KtFileExplorer28.h"
#include "ui/QxEditBtn.h"
#include "ui/TransferProgress.h"
#include "ui/VelmorApplication.h"
#include "ui/VelmorMain.h"

namespace velmor::ui {
namespace {

using velmor::ui::testing::ScriptedDialogs;
using velmor::ui::testing::ScriptedMessages;
using velmor::ui::testing::Text;

// The box of a transfer into a project that exists.
const QString kOverwrite = QString::fromUtf8("Bestätigung: vorhandene EXF-Daten überschreiben ??");

// The demo station as the window's world.
class VelmorMainTest : public ::testing::Test, protected velmor::testing::DemoStationWorld {
 protected:
  void Start() {
    window = std::make_unique<TVelmorMainFrm>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(window->isActiveWindow());
  }

  static QStringList Texts(std::initializer_list<QLineEdit*> fields) {
    QStringList texts;
    for (QLineEdit* field : fields) texts << field->text();
    return texts;
  }
  // NEU1 from the sample project C:\SAMPLE, whose first page cannot arrive: a folder of its name is in
  // the way in the existing project. The question to overwrite is answered.
  void StartWithABlockedPage() {
    prefix.MakeDir(At("drive_c/EPLAN5/P/NEU1.P/S001.EXF"));
    prefix.WriteFile(At("drive_c/SAMPLE/EXF0/PROJEKT.DBF"), "sample");
    Start();
    SetSampleLocation(window->FF, "C:\\SAMPLE\\");
    window->ProjektName->setText("NEU1");
    messages.Answer(QMessageBox::Ok);
  }

  // The project path and the folder the tree highlights.
  QString ProjectPathAndHighlight() const {
    return window->Label10->text() + " | " + window->EplanTree->GetNodePath(window->EplanTree->currentItem());
  }

  ScriptedMessages messages;
  ScriptedDialogs browser;
  std::unique_ptr<TVelmorMainFrm> window;
};

TEST(VelmorApplication, NameIconAndGermanStandardButtons) {
  VelmorApplication::Configure();
  EXPECT_EQ(QCoreApplication::applicationName(), "Velmor");
  // A pinned display name would be appended to every caption; unpinned, it follows the name.
  QCoreApplication::setApplicationName("Probe");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Probe");
  QCoreApplication::setApplicationName("Velmor");
  // The icon is built into the program, so the window has it also where no icon theme does.
  EXPECT_EQ(VelmorApplication::ApplicationIcon().pixmap(48, 48).size(), QSize(48, 48));
  // The standard buttons speak German through Qt's own translation.
  QMessageBox box(QMessageBox::Question, "Velmor", "?", QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Abbrechen");
}

TEST_F(VelmorMainTest, HiddenMenuTheOddKeyboardOrderOfTheEplanPathsAndPlacementOnASmallerScreen) {
  Start();
  EXPECT_FALSE(window->Headerbilden1->isVisible());
  // The widgets that Tab reaches after a widget.
  const auto tabOrder = [](QWidget* widget, qsizetype count) {
    QList<QWidget*> order;
    while (order.size() < count) {
      widget = widget->nextInFocusChain();
      if ((widget->focusPolicy() & Qt::TabFocus) != 0) order << widget;
    }
    return order;
  };
  EXPECT_EQ(tabOrder(window->LagerPfad, 4),
            QList<QWidget*>({window->FormularPfad, window->NormalStamm, window->MakroPfad, window->ExfVErz}));
  // The name is typed first; the transfer button is reached after the symbol list.
  EXPECT_EQ(window->focusWidget(), window->ProjektName);
  EXPECT_EQ(tabOrder(window->SLB, 1), QList<QWidget*>({window->ProjektNeu}));
  // The designed placement is moved onto the offscreen screen, which is smaller.
  EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()));
}

TEST_F(VelmorMainTest, RestoreRunsBeforeTheActivationWhichFillsThePathsAndTheTree) {
  window = std::make_unique<TVelmorMainFrm>();
  window->show();
  // Restored while being shown: the EXF folder fired its handler, yet the two dependants end with
  // their own stored texts; the activation has not run yet.
  EXPECT_EQ(Texts({window->ExfVErz, window->AscVerz, window->ExpVerz, window->ProjektName}),
            QStringList({"D:\\EXF", "D:\\EXF\\ASC", "D:\\EXF\\EXP", "DEMO1"}));
  EXPECT_EQ(window->SLB->count(), 3);

  QTRY_VERIFY(window->isActiveWindow());
  QTRY_COMPARE(window->Label10->text(), "C:\\EPLAN5\\P\\");
  EXPECT_EQ(
      Texts({window->MakroPfad, window->NormalStamm, window->LagerPfad, window->FormularPfad}),
      QStringList({"C:\\EPLAN5\\MAKROS\\", "C:\\EPLAN5\\NS\\", "C:\\EPLAN5\\LAGER\\", "C:\\EPLAN5\\FORM\\"}));
  EXPECT_EQ(window->EplanTree->SelectedPath().toUpper(), window->Label10->text().toUpper());
  EXPECT_TRUE(messages.boxes.empty());
}

// Lets another top-level window of the program take the focus, closes it and comes back to the main
// window, as a user does who answers a box or a dialog.
void VisitWindow(QWidget& other, QWidget* main) {
  other.show();
  other.activateWindow();
  QTRY_VERIFY(other.isActiveWindow());
  other.hide();
  if (main == nullptr || !main->testAttribute(Qt::WA_Mapped)) return;  // not on the screen yet
  main->activateWindow();
  QTRY_VERIFY(main->isActiveWindow());
}

TEST_F(VelmorMainTest, OnlyAReturnFromAnotherWindowOfTheProgramRunsTheActivationAgain) {
  Start();
  const QString projectFolder = window->Label10->text();
  window->EplanTree->SetSelectedPath("D:\\FEHLT");
  window->EplanTreeClick();
  // The clicked folder stays, though it is gone, when the window comes back from a window that only
  // reports on the work (the window-manager tests return from another program too).
  TransferProgress progress(window.get());
  progress.setWindowModality(Qt::NonModal);
  VisitWindow(progress, window.get());
  EXPECT_EQ(window->Label10->text(), "D:\\FEHLT");
  // A dialog of the program reads the environment again when it closes: the chosen folder that is gone
  // gives way to the project folder (one that exists stays, as the window-manager tests show), and the
  // tree shows it.
  QDialog dialog(window.get());
  VisitWindow(dialog, window.get());
  EXPECT_EQ(ProjectPathAndHighlight(), projectFolder + " | C:\\EPLAN5\\P");
  // Keys that move the highlight move the project path with it.
  QTest::keyClick(window->EplanTree, Qt::Key_Up);
  QTRY_COMPARE(ProjectPathAndHighlight(), "C:\\EPLAN5\\O | C:\\EPLAN5\\O");
}

TEST_F(VelmorMainTest, TheClosingOfABoxThatTheReadingShowedDoesNotReadAgain) {
  std::filesystem::remove(At("drive_c/EPLAN5/O/DEMO/USER1.APD"));
  // Each box is a real window that takes the focus while it is open and hands it back when it closes.
  messages.onBox = [this]() {
    QDialog box;
    VisitWindow(box, window.get());  // the window is still being made
  };
  Start();
  QTest::qWait(200);
  // Once from the restored EPLAN folder, once from the first activation; none after the box closed.
  EXPECT_EQ(messages.boxes, QStringList(2, "Meldung: EPLAN ist nicht installiert"));
}

TEST_F(VelmorMainTest, BrowseButtonsByTag) {
  Start();
  browser.answers = {QString("D:\\EXF\\ASC"), std::nullopt};
  QTest::mouseClick(window->ExfVErz->Button(), Qt::LeftButton);
  EXPECT_EQ(Texts({window->ExfVErz, window->AscVerz, window->ExpVerz}),
            QStringList({"D:\\EXF\\ASC", "D:\\EXF\\ASC", "D:\\EXF\\ASC"}));
  EXPECT_EQ(window->SLB->count(), 0);                            // no header there
  QTest::mouseClick(window->ExpVerz->Button(), Qt::LeftButton);  // cancelled
  EXPECT_EQ(window->ExpVerz->text(), "D:\\EXF\\ASC");
  window->QxEditBtnClick(nullptr);  // no sender, and the project name, which is no folder: nothing opens
  window->QxEditBtnClick(window->ProjektName);
  EXPECT_EQ(browser.calls,
            QStringList({QString::fromUtf8("browse:D:\\EXF|Quellpfad für EXP_ASC.EXF"),
                         QString::fromUtf8("browse:D:\\EXF\\ASC|Quellpfad für Eplan-Rahmen")}));
}

TEST_F(VelmorMainTest, TransferByTheButtonCreatesTheProjectAndAsksBeforeOverwriting) {
  Start();
  SetSampleLocation(window->FF, "C:\\NIRGENDS\\");
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  EXPECT_EQ(messages.boxes, QStringList({"Meldung: Keine Musterdateien gefunden"}));
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/NEU1.P"));

  prefix.WriteFile(At("drive_c/SAMPLE/EXF0/PROJEKT.DBF"), "sample");
  prefix.WriteFile(At("drive_c/SAMPLE/EXF0/SH1"), "excluded");
  SetSampleLocation(window->FF, "C:\\SAMPLE\\");
  window->ProjektName->setText("NEU1");
  messages.Clear();
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  EXPECT_TRUE(messages.boxes.empty());
  // The fields' folders were used: the pages, the frames and the symbols arrived, the excluded sample did
  // not.
  EXPECT_EQ(velmor::platform::Entries(At("drive_c/EPLAN5/P/NEU1.P")),
            (velmor::platform::Names{"EPL_ASC.EXF", "LOGO.BMP", "PROJEKT.DBF", "RAHMEN1.EXP", "RAHMEN2.EXP",
                                     "S001.EXF", "S002.EXF"}));
  EXPECT_TRUE(Exists("drive_c/EPLAN5/NS/NORM01.ASC"));
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "NEU1\r\n");

  // Into the project that now exists: the question; cancelled, nothing is written again.
  std::filesystem::remove(At("drive_c/EPLAN5/P/NEU1.P/PROJEKT.DBF"));
  messages.Answer(QMessageBox::Cancel);
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  EXPECT_EQ(messages.boxes, QStringList({kOverwrite}));
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/NEU1.P/PROJEKT.DBF"));
  // Answered OK, it is. The question is a window of the program: it takes the focus, and the main
  // window gets it back while the transfer goes on, which does not run the activation work.
  messages.Answer(QMessageBox::Ok);
  messages.onBox = [&]() {
    QDialog question(window.get());
    VisitWindow(question, window.get());
  };
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  messages.onBox = nullptr;
  EXPECT_EQ(messages.boxes, QStringList({kOverwrite, kOverwrite}));
  EXPECT_TRUE(Exists("drive_c/EPLAN5/P/NEU1.P/PROJEKT.DBF"));
}

TEST_F(VelmorMainTest, ARunThatAnErrorEndsListsWhatFailedBeforeTheErrorGoesOnToItsBox) {
  StartWithABlockedPage();
  // The page arrives, but an original cannot be backed up (a folder of its name is in the way), and
  // ARGV.DAT cannot be written again: the error ends the run, after the copies.
  std::filesystem::remove(At("drive_c/EPLAN5/P/NEU1.P/S001.EXF"));
  prefix.MakeDir(At("drive_c/EPLAN5/NS/SIASC/ALT01.ASC"));
  std::filesystem::permissions(At("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), std::filesystem::perms::owner_read);
  window->TransferProject();
  EXPECT_EQ(messages.Shown(), Text("window, a backup in the way and ARGV.DAT write-protected"));
}

TEST_F(VelmorMainTest, TheFailureBoxListsWhatFailedAndOffersToTakeTheTransferBackAsDoesTheNextStart) {
  std::filesystem::permissions(At("drive_c/EPLAN5/NS/ALT01.ASC"), std::filesystem::perms::owner_read);
  StartWithABlockedPage();
  const auto listing = [this] { return velmor::testing::StationListing(dir); };
  std::string before = listing();
  messages.listAnswers = {0};  // "Rückgängig machen"
  bool restArrived = false;    // when the box is shown
  messages.onBox = [&]() { restArrived = restArrived || Exists("drive_c/EPLAN5/P/NEU1.P/PROJEKT.DBF"); };
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  messages.onBox = nullptr;
  // A write-protected original was backed up and only stayed: no failure, but said with the failures.
  // The undo says what it did.
  EXPECT_EQ(messages.Shown(), Text("window, a failed page and a write-protected original, taken back"));
  EXPECT_TRUE(restArrived);
  EXPECT_EQ(listing(), before);
  // The tree is walked to the project path again, which stays.
  EXPECT_EQ(window->Label10->text().toUpper(), "C:\\EPLAN5\\P\\");
  EXPECT_EQ(window->EplanTree->GetNodePath(window->EplanTree->currentItem()), "C:\\EPLAN5\\P");
  window.reset();
  before = listing();  // with the settings the window saved on closing

  // A transfer killed in another process leaves its journal open; the next start offers to take it
  // back before anything else.
  auto killedTransfer = [&] {
    ASSERT_TRUE(velmor::testing::RunKilledAt(23, [](platform::IFileSystem& files) {
      TFindFileEx FF(files);
      TQxstringlist samples;
      ConfigureSampleSearch(FF, samples);
      SetSampleLocation(FF, "C:\\SAMPLE\\");
      velmor::testing::ScriptedReporter reporter;
      ProjectTransfer transfer(files, platform::HostPlatform(), FF, samples, reporter);
      transfer.Run({"NEU2", "C:\\EPLAN5\\P", "C:\\EPLAN5\\NS\\", "D:\\EXF", "D:\\EXF\\ASC", "D:\\EXF\\EXP",
                    "C:\\EPLAN5", "DEMO", "01"});
    }));
    ASSERT_NE(listing(), before);
  };
  killedTransfer();
  messages.Clear();
  messages.Answer(QMessageBox::Yes);
  Start();
  EXPECT_EQ(messages.Shown(), Text("window, a killed transfer taken back at the start"));
  EXPECT_EQ(listing(), before);
  EXPECT_EQ(window->Label10->text(), "C:\\EPLAN5\\P\\");  // the activation work went on
  window.reset();
  before = listing();

  // Not now: the station stays held; the refused transfer offers the undo right there.
  killedTransfer();
  messages.Answer(QMessageBox::No);
  Start();
  SetSampleLocation(window->FF, "C:\\SAMPLE\\");
  window->ProjektName->setText("NEU3");
  messages.Clear();
  messages.listAnswers = {0};
  QTest::mouseClick(window->ProjektNeu, Qt::LeftButton);
  EXPECT_EQ(messages.Shown(), Text("window, a transfer refused while a killed one is not taken back"));
  EXPECT_EQ(listing(), before);
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/NEU3.P"));
}

TEST_F(VelmorMainTest, TheTransfersProgressReportsButCannotBeClosedWhileItRuns) {
  Start();
  TransferProgress progress(window.get());
  progress.Report(1, 3, "C:\\EPLAN5\\P\\NEU1.P\\S001.EXF");
  progress.show();
  EXPECT_EQ(progress.windowTitle(), "Kelvra nach EPLAN");
  EXPECT_FALSE(progress.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(progress.close());
  QTest::keyClick(&progress, Qt::Key_Escape);
  EXPECT_TRUE(progress.isVisible());
  EXPECT_EQ(progress.labelText(), "Kopiere C:\\EPLAN5\\P\\NEU1.P\\S001.EXF");
}

TEST_F(VelmorMainTest, FieldsTakeNoDroppedFiles) {
  Start();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(At("drive_d/EXF")))});
  mime.setText(mime.urls().first().toString());
  for (QLineEdit* field :
       {static_cast<QLineEdit*>(window->ExfVErz), static_cast<QLineEdit*>(window->EplanVerz),
        window->ProjektName, window->NormalStamm}) {
    QSignalSpy changes(field, &QLineEdit::textChanged);
    const QPoint at = field->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &drop);
    EXPECT_EQ(changes.count(), 0) << field->objectName().toStdString();
  }
}

TEST_F(VelmorMainTest, Label10KeepsTheFullPathAndShowsALongOneShortenedWithATooltip) {
  Start();
  const QString path = "C:\\EPLAN5\\P\\KUNDEN\\MUELLER-MASCHINENBAU\\ANLAGEN-2024\\HALLE-NORD\\LINIE-3";
  window->EplanTree->SetSelectedPath(path);
  window->EplanTreeClick();
  auto* label = static_cast<ElidedPathLabel*>(window->Label10);
  EXPECT_EQ(label->text(), path);
  const QString shown = label->DisplayedText();
  EXPECT_LT(shown.size(), path.size());
  EXPECT_TRUE(shown.startsWith("C:\\EPLAN5") && shown.endsWith("LINIE-3") && shown.contains(QChar(0x2026)))
      << shown.toStdString();
  QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
  QCoreApplication::sendEvent(label, &help);
  EXPECT_EQ(QToolTip::text(), path);
  QToolTip::hideText();
}

TEST_F(VelmorMainTest, CloseStoresTheTextsForTheNextStart) {
  Start();
  window->ProjektName->setText("MIT BLANK");
  window->setGeometry(20, 30, 700, 500);
  EXPECT_TRUE(window->close());
  window.reset();
  const std::string ini = Read("drive_c/windows/Velmor.INI");
  EXPECT_NE(ini.find("ProjektName_Text=MIT BLANK\r\n"), std::string::npos);
  EXPECT_LT(ini.find("EplanVerz_Text"), ini.find("AscVerz_Text"));

  Start();
  EXPECT_EQ(window->ProjektName->text(), "MIT BLANK");
  EXPECT_EQ(window->geometry(), QRect(20, 30, 700, 500));
}

}  // namespace
}  // namespace velmor::ui
