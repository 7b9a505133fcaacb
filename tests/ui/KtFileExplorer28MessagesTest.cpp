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

TEST(MessageService, ScriptedAnswersAreUsedInOrderAndRecorded) {
  ScriptedMessages messages;
  messages.Answer(QMessageBox::No);
  messages.Answer(QMessageBox::Yes);
  EXPECT_EQ(
      Messages().TypedBox(IMessageService::Kind::Confirmation, "q1", QMessageBox::Yes | QMessageBox::No),
      QMessageBox::No);
  EXPECT_EQ(Messages().TypedBox(IMessageService::Kind::Warning, "w", QMessageBox::Ok), QMessageBox::Ok);
  EXPECT_EQ(
      Messages().TypedBox(IMessageService::Kind::Confirmation, "q2", QMessageBox::Yes | QMessageBox::No),
      QMessageBox::Yes);
  Messages().Beep();
  ASSERT_EQ(messages.boxes.size(), 3u);
  EXPECT_EQ(messages.Texts(), QStringList({"q1", "w", "q2"}));
  EXPECT_EQ(messages.boxes[1].caption, "Warnung");
  EXPECT_EQ(messages.boxes[1].kind, IMessageService::Kind::Warning);
  EXPECT_EQ(messages.beeps, 1);
}

}  // namespace
}  // namespace velmor::ui
