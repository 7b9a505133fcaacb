#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include "tests/ui/ScriptedMessages.h"
#include "ui/Glyphs.h"
#include "ui/QxEditBtn.h"

namespace velmor::ui {
namespace {

using testing::ScriptedMessages;

class QxEditBtnTest : public ::testing::Test {
 protected:
  QxEditBtnTest() {
    edit.resize(275, 21);
    edit.show();  // a hidden widget gets its resize events only when shown
    edit.SetGlyph(OpenFolderGlyph());
    edit.OnBtnClick = [this](TQxEditBtn* sender) {
      ++clicks;
      sender_ = sender;
    };
  }
  // The signal comes with every handler call.
  ~QxEditBtnTest() override { EXPECT_EQ(btnClicked.count(), clicks); }
  ScriptedMessages messages;
  TQxEditBtn edit;
  int clicks = 0;
  TQxEditBtn* sender_ = nullptr;
  QSignalSpy btnClicked{&edit, &TQxEditBtn::btnClicked};
};

TEST(QxEditBtnPaint, ButtonIsShownFromTheFirstPaintAndTakesNoFocus) {
  TQxEditBtn edit;
  EXPECT_FALSE(edit.Button()->isVisibleTo(&edit));
  edit.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
  QTRY_VERIFY(edit.Button()->isVisible());
  EXPECT_EQ(edit.Button()->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(edit.Button()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(QxEditBtnTest, ClickRaisesOnBtnClickWithTheEditButAReadOnlyFieldOnlyBeeps) {
  edit.show();
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(sender_, &edit);
  EXPECT_EQ(messages.beeps, 0);

  edit.setReadOnly(true);
  QTest::mouseClick(edit.Button(), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(messages.beeps, 1);

  edit.OnBtnClick = nullptr;
  edit.setReadOnly(false);
  edit.BtnClick();  // no handler: only the signal
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_EQ(btnClicked.count(), 2);
  clicks = 2;
}

TEST_F(QxEditBtnTest, NoKeyPressesTheButton) {
  edit.show();
  edit.setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_F4, Qt::Key_Down, Qt::Key_Space}) QTest::keyClick(&edit, key);
  QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(clicks, 0);
}

TEST_F(QxEditBtnTest, CutAndPasteNeedEditorEnabledButTypingDoesNot) {
  edit.show();
  edit.setFocus();
  QApplication::clipboard()->setText("PASTE");
  edit.SetEditorEnabled(false);
  QTest::keyClicks(&edit, "ab");
  EXPECT_EQ(edit.text(), "ab");
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), "ab");
  EXPECT_EQ(messages.beeps, 0);  // dropped silently

  edit.SetEditorEnabled(true);
  edit.setCursorPosition(2);
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), "abPASTE");
}

// A field that takes digits only, as classes built on the edit may do.
class DigitsOnly : public TQxEditBtn {
 public:
  bool IsValidChar(QChar key) override { return key.isDigit(); }
};

TEST(QxEditBtnValidation, RejectedCharactersAreDroppedWithABeep) {
  ScriptedMessages messages;
  DigitsOnly edit;
  edit.show();
  edit.setFocus();
  QTest::keyClicks(&edit, "1a2");
  EXPECT_EQ(edit.text(), "12");
  EXPECT_EQ(messages.beeps, 1);
}

}  // namespace
}  // namespace velmor::ui
