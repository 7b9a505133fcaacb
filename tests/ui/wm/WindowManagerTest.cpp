// The main window as a user meets it on a desktop: openbox frames, places, activates and focuses it,
// and clicks and window switches are real X events (xdotool), not events sent to the widgets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QWindow>
#include <filesystem>
#include <memory>

#include "tests/common/DemoStationWorld.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/KtFileExplorer28.h"
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
  // Clicks a folder under the project folder C:\EPLAN5\P in the tree.
  void ClickFolder(const QString& name) {
    QTreeWidgetItem* folder =
        window->EplanTree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    ASSERT_NE(folder, nullptr) << name.toStdString();
    window->EplanTree->scrollToItem(folder);
    const QRect cell = window->EplanTree->visualItemRect(folder);
    Click(window->EplanTree->viewport(), QPoint(cell.left() + 24, cell.center().y()));
    QTRY_COMPARE(window->Label10->text(), "C:\\EPLAN5\\P\\" + name);
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

TEST_F(WindowManagerTest, TheWindowLiesFullyOnTheScreenAndAReturnFromAnotherProgramKeepsTheClickedFolder) {
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
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WindowManagerTest, TwoTransfersInARowAfterAClickInTheTreeBothGoWhereTheUserChose) {
  Start();
  ClickFolder("KUNDE");
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

}  // namespace
}  // namespace velmor::ui
