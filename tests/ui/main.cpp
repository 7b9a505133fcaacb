// Widget tests need one QApplication. Without a display they run offscreen; the variable is set here
// (not only by CTest) so that running the binary by hand works too.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QTest>
#include <cstdio>

#include "ui/VelmorApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
