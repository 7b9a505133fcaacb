// The main window as a user meets it on a desktop: openbox frames, places, activates and focuses it,
// and clicks and window switches are real X events (xdotool), not events sent to the widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QWindow>
#include <filesystem>
#include <memory>

#include "core/ProjectTransfer.h"
#include "platform/Platform.h"
#include "tests/common/DemoStationWorld.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/ui/Scripted.h"
#include "ui/DirectoryEdit.h"
#include "ui/KtFileExplorer28.h"
#include "ui/QxEditBtn.h"
#include "ui/TransferProgress.h"
#include "ui/VelmorMain.h"

namespace velmor::ui {
namespace {

using velmor::ui::testing::ScriptedMessages;

// Runs xdotool with the arguments and waits for it.
void XDoTool(const QStringList& arguments) {
  QProcess tool;
  tool.start("xdotool", arguments);
  ASSERT_TRUE(tool.waitForFinished(10000)) << arguments.join(' ').toStdString();
  ASSERT_EQ(tool.exitCode(), 0) << arguments.join(' ').toStdString() << ": "
                                << tool.readAllStandardError().toStdString();
}

// A real left click at the centre of a widget (or at a point inside it).
void Click(QWidget* widget, QPoint at = QPoint(-1, -1)) {
  if (at.x() < 0) at = widget->rect().center();
  const QPoint global = widget->mapToGlobal(at);
  XDoTool({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
}

// Presses Escape, as a user does, in the next modal window of the program once it has the focus; its
// object name (else its class name) goes into seen.
void EscapeNextDialog(QStringList& seen) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, &seen] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isActiveWindow()) return;
    seen << (modal->objectName().isEmpty() ? modal->metaObject()->className() : modal->objectName());
    timer->stop();
    timer->deleteLater();
    XDoTool({"key", "Escape"});
  });
  timer->start(50);
}

class WindowManagerTest : public ::testing::Test, protected velmor::testing::DemoStationWorld {
 protected:
  WindowManagerTest() { prefix.MakeDir(At("drive_c/EPLAN5/P/KUNDE")); }
  ~WindowManagerTest() override {
    if (other.state() != QProcess::NotRunning) {
      other.kill();
      other.waitForFinished(5000);
    }
  }
  void Start() {
    window = std::make_unique<TVelmorMainFrm>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 10000);
    QTRY_COMPARE(window->Label10->text(), QString("C:\\EPLAN5\\P\\"));
  }
  // Clicks a folder under the project folder C:\EPLAN5\P in the tree (SORT\Apfel: below SORT), with
  // the given button.
  void ClickFolder(const QString& name, const char* button = "1") {
    QTreeWidgetItem* folder = window->EplanTree->DriveNode('C');
    for (const QString& part : ("EPLAN5\\P\\" + name).split('\\')) {
      window->EplanTree->expandItem(folder);
      QTreeWidgetItem* child = nullptr;
      for (int i = 0; i < folder->childCount() && child == nullptr; ++i)
        if (folder->child(i)->text(0) == part) child = folder->child(i);
      ASSERT_NE(child, nullptr) << part.toStdString();
      folder = child;
    }
    window->EplanTree->scrollToItem(folder);
    const QRect cell = window->EplanTree->visualItemRect(folder);
    const QPoint global =
        window->EplanTree->viewport()->mapToGlobal(QPoint(cell.left() + 24, cell.center().y()));
    XDoTool({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", button});
    QTRY_COMPARE(window->Label10->text(), "C:\\EPLAN5\\P\\" + name);
  }
  // The project path and the folder the tree highlights.
  QString ProjectPathAndHighlight() const {
    return window->Label10->text() + " | " + window->EplanTree->GetNodePath(window->EplanTree->currentItem());
  }
  // Starts the other program and lets it take the focus.
  void SwitchToAnotherProgram() {
    other.start(QCoreApplication::applicationFilePath(), {"--other-client"});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    const WId id = other.readLine().trimmed().toULongLong();
    ASSERT_NE(id, 0u);
    QTest::qWait(200);                                           // mapped and framed
    XDoTool({"windowactivate", "--sync", QString::number(id)});  // as a click on it or the task switcher
    QTRY_VERIFY(!window->isActiveWindow());
  }
  void ComeBack() {
    XDoTool({"windowactivate", "--sync", QString::number(window->winId())});
    QTRY_VERIFY(window->isActiveWindow());
    QTest::qWait(300);  // whatever the activation brings has happened by now
  }

  ScriptedMessages messages;
  QProcess other;
  std::unique_ptr<TVelmorMainFrm> window;
};

// The clicked folder stays the project path when the user comes back from another program, and for two
// transfers in a row.
TEST_F(WindowManagerTest, TheWindowLiesOnTheScreenAndTheClickedFolderStaysThroughAnotherProgramAndTransfers) {
  Start();
  const QRect screen = window->screen()->geometry();
  ASSERT_EQ(screen.size(), QSize(1280, 1024));
  // Framed by openbox, frame and all on the screen.
  const QRect frame = window->windowHandle()->frameGeometry();
  EXPECT_GT(frame.height(), window->geometry().height());
  EXPECT_TRUE(screen.contains(frame))
      << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();

  ClickFolder("KUNDE");
  SwitchToAnotherProgram();
  ComeBack();
  EXPECT_EQ(window->Label10->text(), "C:\\EPLAN5\\P\\KUNDE");
  for (const char* name : {"EINS", "ZWEI"}) {
    window->ProjektName->setText(name);
    Click(window->ProjektNeu);
    const std::string project = std::string("drive_c/EPLAN5/P/KUNDE/") + name + ".P";
    QTRY_VERIFY_WITH_TIMEOUT(Exists(project + "/S001.EXF"), 20000);
    // The progress has closed and the window is active again; the project root stays the path.
    QTRY_VERIFY(window->isActiveWindow());
    QTest::qWait(300);
    EXPECT_EQ(window->Label10->text(), "C:\\EPLAN5\\P\\KUNDE\\") << name;
  }
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/EINS.P"));
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/ZWEI.P"));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WindowManagerTest, ANewFolderAndItsNameGoIntoTheFolderOfTwoThatDifferOnlyInCase) {
  prefix.MakeDir(At("drive_c/EPLAN5/P/SORT/apfel"));
  prefix.MakeDir(At("drive_c/EPLAN5/P/SORT/Apfel"));
  Start();
  ClickFolder("SORT\\Apfel", "3");  // the right button opens the tree's menu
  XDoTool({"key", "n"});            // "&Neuer Ordner"
  QTRY_VERIFY(window->EplanTree->viewport()->findChild<QLineEdit*>() != nullptr);
  XDoTool({"type", "--delay", "20", "Birne"});
  XDoTool({"key", "Return"});
  QTRY_VERIFY(Exists("drive_c/EPLAN5/P/SORT/Apfel/Birne"));
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/SORT/Apfel/Neuer Ordner"));
  EXPECT_TRUE(std::filesystem::is_empty(At("drive_c/EPLAN5/P/SORT/apfel")));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WindowManagerTest, AfterEachOwnDialogTheTransferGoesIntoTheHighlightedFolder) {
  Start();
  ClickFolder("ALT.P");
  QStringList seen, after;
  const auto visit = [&](QWidget* tab, const std::function<void()>& open) {
    window->GETEXF->setCurrentWidget(tab);
    EscapeNextDialog(seen);
    open();
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() > after.size(), 10000);
    QTRY_VERIFY(window->isActiveWindow());
    QTest::qWait(300);  // the activation work has run
    after << seen.last() + ": " + ProjectPathAndHighlight();
  };
  for (TQxEditBtn* field : {window->ExfVErz, window->AscVerz, window->ExpVerz})
    visit(window->TabSheet1, [&] { Click(field->Button()); });
  visit(window->TabSheet2, [&] { Click(window->EplanVerz->Button()); });
  visit(window->TabSheet1, [&] { QMessageBox::information(window.get(), "Kelvra nach EPLAN", "Probe"); });
  const QString path = "C:\\EPLAN5\\P\\ALT.P | C:\\EPLAN5\\P\\ALT.P";
  EXPECT_EQ(after,
            QStringList({"BrowseFolderDlg: " + path, "BrowseFolderDlg: " + path, "BrowseFolderDlg: " + path,
                         "SelectDirDlg: " + path, "QMessageBox: " + path}));

  window->ProjektName->setText("NEU");
  XDoTool({"key", "alt+t"});  // the button's underlined letter
  QTRY_VERIFY_WITH_TIMEOUT(Exists("drive_c/EPLAN5/P/ALT.P/NEU.P/S001.EXF"), 20000);
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/NEU.P"));
  EXPECT_TRUE(messages.boxes.empty());
}

// Records when a widget paints.
class PaintLog : public QObject {
 public:
  explicit PaintLog(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) times.push_back(clock.elapsed());
    return false;
  }
  QElapsedTimer clock;
  std::vector<qint64> times;
};

TEST_F(WindowManagerTest, AnUndoOfTenThousandFilesKeepsTheWindowPaintingUnderItsProgress) {
  prefix.WriteFile(At("drive_d/GROSS/EPL_ASC.EXF"), "EXF\r\n");
  for (int i = 0; i < 10000; ++i) prefix.WriteFile(At("drive_d/GROSS/S" + std::to_string(i) + ".EXF"), "x");
  platform::IPlatform& os = platform::HostPlatform();
  TFindFileEx FF(os);
  TQxstringlist samples;
  ConfigureSampleSearch(FF, samples);
  SetSampleLocation(FF, os.ProgramDirectory());
  velmor::testing::ScriptedReporter reporter;
  ProjectTransfer transfer(os, os, FF, samples, reporter);
  const TransferResult done = transfer.Run({"GROSS", "C:\\EPLAN5\\P", "C:\\EPLAN5\\NS\\", "D:\\GROSS",
                                            "D:\\GROSS", "D:\\GROSS", "C:\\EPLAN5", "DEMO", "01"});
  ASSERT_GT(done.FilesCopied, 10000u);
  Start();

  // While the undo runs, the window is asked to paint every 100 ms. Its progress is looked at as the
  // window manager sees it (what it lets the user do with it), then minimised as a user may do.
  PaintLog paints(window->Label10);
  QString actions, frame;
  int minimised = 0;  // 0 not yet, then the time of the minimising
  QString afterMinimising;
  QTimer poke;
  QObject::connect(&poke, &QTimer::timeout, [&] {
    window->Label10->update();
    auto* progress = window->findChild<TransferProgress*>();
    if (progress == nullptr || !progress->isVisible()) return;
    if (minimised == 0) {
      QProcess xprop;
      xprop.start("xprop", {"-id", QString::number(progress->winId()), "_NET_WM_ALLOWED_ACTIONS"});
      xprop.waitForFinished(5000);
      actions = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
      xprop.start("xprop", {"-id", QString::number(progress->winId()), "-notype", "_NET_FRAME_EXTENTS"});
      xprop.waitForFinished(5000);
      frame = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
      XDoTool({"windowminimize", QString::number(progress->winId())});
      minimised = static_cast<int>(paints.clock.elapsed());
    } else if (paints.clock.elapsed() - minimised > 200) {  // the last look before the undo ends counts
      afterMinimising =
          QString("Fortschritt %1, Fenster %2")
              .arg(progress->isMinimized() ? "minimiert" : "da", window->isMinimized() ? "minimiert" : "da");
    }
  });
  poke.start(100);
  paints.clock.start();
  window->UndoTransfer(done.JournalId);
  const qint64 took = paints.clock.elapsed();
  poke.stop();
  qint64 longest = 0, last = 0;
  for (const qint64 at : paints.times) {
    longest = std::max(longest, at - last);
    last = at;
  }
  EXPECT_LT(std::max(longest, took - last), 500) << "undo took " << took << " ms";
  EXPECT_FALSE(Exists("drive_c/EPLAN5/P/GROSS.P"));
  EXPECT_TRUE(messages.Last().startsWith("Information: Die Übertragung ist zurückgenommen:"))
      << messages.Last().toStdString();
  // No title bar, so no buttons the window manager would draw on it (left, right, top, bottom).
  EXPECT_EQ(frame, "_NET_FRAME_EXTENTS = 0, 0, 0, 0");
  // One size: neither resized nor maximised; minimised, it comes back at once with the main window.
  EXPECT_FALSE(actions.isEmpty());
  EXPECT_FALSE(actions.contains("RESIZE") || actions.contains("MAXIMIZE")) << actions.toStdString();
  EXPECT_EQ(afterMinimising, QString("Fortschritt da, Fenster da"));
}

}  // namespace
}  // namespace velmor::ui
