// The program's icon: built into the program, so the window has it also where no icon theme does.
#include <gtest/gtest.h>

#include <QIcon>

#include "ui/VelmorApplication.h"

namespace velmor::ui {
namespace {

TEST(ApplicationIcon, ComesFromTheProgramWhereNoThemeHasIt) {
  const QIcon builtIn(":/icons/velmor-48.png");
  ASSERT_FALSE(builtIn.isNull()) << "the icon resource is not linked into the program";
  EXPECT_EQ(builtIn.pixmap(48, 48).size(), QSize(48, 48));
  EXPECT_FALSE(VelmorApplication::ApplicationIcon().isNull());
}

}  // namespace
}  // namespace velmor::ui
