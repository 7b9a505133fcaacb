// The message seam the folder tree and the window use: captions, installation and scripted answers.
#include <gtest/gtest.h>

#include "tests/ui/ScriptedMessages.h"
#include "ui/MessageService.h"

namespace velmor::ui {
namespace {

using testing::ScriptedMessages;

TEST(MessageService, CaptionsOfTheTypedBoxes) {
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Warning), "Warnung");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Error), "Fehler");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Information), "Information");
  EXPECT_EQ(CaptionOf(IMessageService::Kind::Confirmation), QString::fromUtf8("Bestätigung"));
}

TEST(MessageService, ScopedServicesNestAndRestore) {
  IMessageService* real = &Messages();
  {
    ScriptedMessages outer;
    EXPECT_EQ(&Messages(), &outer);
    {
      ScriptedMessages inner;
      EXPECT_EQ(&Messages(), &inner);
    }
    EXPECT_EQ(&Messages(), &outer);
  }
  EXPECT_EQ(&Messages(), real);
  EXPECT_NE(dynamic_cast<QtMessageService*>(real), nullptr);
}

}  // namespace
}  // namespace velmor::ui
