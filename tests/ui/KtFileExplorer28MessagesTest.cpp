// The captions of the typed boxes of the folder tree and the window.
#include <gtest/gtest.h>

#include "ui/MessageService.h"

namespace velmor::ui {
namespace {

TEST(MessageService, CaptionsOfTheTypedBoxes) {
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Warning), "Warnung");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Error), "Fehler");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Information), "Information");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Confirmation), QString::fromUtf8("Bestätigung"));
}

}  // namespace
}  // namespace velmor::ui
