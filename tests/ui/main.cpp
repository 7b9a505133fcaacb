// Widget tests need one QApplication. Without a display they run offscreen; the variable is set here
// (not only by CTest) so that running the binary by hand works too.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "ui/VelmorApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  velmor::ui::VelmorApplication::Configure();
  return RUN_ALL_TESTS();
}
