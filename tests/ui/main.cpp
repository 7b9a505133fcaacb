// Widget tests need one QApplication. Without a display they run offscreen; the variable is set here
// (not only by CTest) so that running the binary by hand works too. Built for the window-manager tests
// (VELMOR_UNDER_WINDOW_MANAGER), they need an X display with a window manager (see wm/under-openbox.sh),
// and started with --other-client the program is instead the other X client that the tests switch to: a
// plain window that prints its X window id and waits.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <string_view>

#include "ui/VelmorApplication.h"

int main(int argc, char** argv) {
#ifdef VELMOR_UNDER_WINDOW_MANAGER
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  if (argc > 1 && std::string_view(argv[1]) == "--other-client") {
    QApplication app(argc, argv);
    QWidget other;
    other.setWindowTitle("Anderes Programm");
    other.resize(320, 200);
    other.show();
    std::printf("%llu\n", static_cast<unsigned long long>(other.winId()));
    std::fflush(stdout);
    return app.exec();
  }
#else
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  velmor::ui::VelmorApplication::Configure();
  const int result = RUN_ALL_TESTS();
  // A failing QTRY_ or QVERIFY check records its failure with QTest only, which prints nothing outside
  // a QTest run: the run fails here instead of passing silently.
  if (QTest::currentTestFailed()) {
    std::fputs("A QTest check (QTRY_..., QVERIFY, QCOMPARE) failed\n", stderr);
    return 1;
  }
  return result;
}
