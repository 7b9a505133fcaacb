// A scripted message service for widget tests: answers are queued before the action that asks, every
// box and every error sound is recorded, and nothing ever blocks.
//
//   ScriptedMessages messages;            // installs itself for its lifetime
//   messages.Answer(QMessageBox::Yes);    // the next box with a choice gets "Yes"
//   tree.DoSomething();
//   ASSERT_EQ(messages.boxes.size(), 1u);
//   EXPECT_EQ(messages.boxes[0].text, "...");
//
// A box that offers only one button (an "OK" box) needs no queued answer. A box with a choice and no
// queued answer is a test fault: it is reported as a failure and answered with its escape button
// (Cancel, else No, else the last button offered), as a user closing the box would.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "tests/ui/QStringPrinter.h"
#include "ui/MessageService.h"

namespace velmor::ui::testing {

class ScriptedMessages : public IMessageService {
 public:
  enum class Type { Typed, Plain, Error, ErrorList };

  struct Box {
    Type type = Type::Typed;
    Kind kind = Kind::Information;  // meaningful for typed boxes only
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    QStringList lines;         // of an error list box
    QStringList extraButtons;  // of an error list box
  };

  ScriptedMessages() : scope_(*this) {}
  ~ScriptedMessages() override {
    if (!answers_.empty() && expectAllAnswersUsed) {
      ADD_FAILURE() << answers_.size() << " queued answer(s) never used";
    }
  }
  ScriptedMessages(const ScriptedMessages&) = delete;
  ScriptedMessages& operator=(const ScriptedMessages&) = delete;

  // Queues the answer for the next box that offers a choice.
  void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }
  size_t PendingAnswers() const { return answers_.size(); }

  // The texts of all boxes so far, in order (handy for one EXPECT_EQ against a list).
  QStringList Texts() const {
    QStringList texts;
    for (const Box& box : boxes) texts << box.text;
    return texts;
  }
  const Box& Last() const {
    static const Box none;
    if (boxes.empty()) {
      ADD_FAILURE() << "no message box was shown";
      return none;
    }
    return boxes.back();
  }
  void Clear() {
    boxes.clear();
    beeps = 0;
  }

  QMessageBox::StandardButton TypedBox(Kind kind, const QString& text,
                                       QMessageBox::StandardButtons buttons) override {
    Box box{Type::Typed, kind, CaptionOf(kind), text, buttons, QMessageBox::NoButton, {}, {}};
    box.answer = Decide(box);
    Record(box);
    return box.answer;
  }
  void PlainBox(const QString& text) override { Record(OkBox(Type::Plain, Kind::Information, text)); }
  void ErrorBox(const QString& text) override { Record(OkBox(Type::Error, Kind::Error, text)); }
  int ErrorListBox(const QString& text, const QStringList& lines, const QStringList& buttons) override {
    Box box = OkBox(Type::ErrorList, Kind::Error, text);
    box.lines = lines;
    box.extraButtons = buttons;
    Record(box);
    // The answer is "OK" unless a further button was queued by its index.
    if (listAnswers.empty()) return -1;
    const int answer = listAnswers.front();
    listAnswers.pop_front();
    return answer;
  }
  void Beep() override { ++beeps; }
  // Answers for error list boxes: the index of the further button to press.
  std::deque<int> listAnswers;

  std::vector<Box> boxes;
  int beeps = 0;
  // Called after each box is recorded (e.g. to look at the widget's state while the box "is open").
  std::function<void(const Box&)> onBox;
  // Report answers that were queued but never asked for when the object goes away.
  bool expectAllAnswersUsed = true;

 private:
  // A box with the program's name as its caption and only an OK button.
  static Box OkBox(Type type, Kind kind, const QString& text) {
    return Box{type, kind, QCoreApplication::applicationName(), text, QMessageBox::Ok, QMessageBox::Ok,
               {},   {}};
  }
  void Record(const Box& box) {
    boxes.push_back(box);
    if (onBox) onBox(boxes.back());
  }
  static int CountButtons(QMessageBox::StandardButtons buttons) {
    int n = 0;
    for (unsigned bits = buttons.toInt(); bits != 0; bits &= bits - 1) ++n;
    return n;
  }

  QMessageBox::StandardButton Decide(const Box& box) {
    if (CountButtons(box.buttons) <= 1) {
      return box.buttons == QMessageBox::NoButton
                 ? QMessageBox::Ok
                 : static_cast<QMessageBox::StandardButton>(box.buttons.toInt());
    }
    if (!answers_.empty()) {
      QMessageBox::StandardButton answer = answers_.front();
      answers_.pop_front();
      if (!box.buttons.testFlag(answer)) {
        ADD_FAILURE() << "queued answer " << answer << " is not offered by the box \""
                      << box.text.toStdString() << "\"";
      }
      return answer;
    }
    ADD_FAILURE() << "no answer queued for the box \"" << box.text.toStdString() << "\"";
    if (box.buttons.testFlag(QMessageBox::Cancel)) return QMessageBox::Cancel;
    if (box.buttons.testFlag(QMessageBox::No)) return QMessageBox::No;
    unsigned bits = box.buttons.toInt();
    unsigned last = 0;
    for (; bits != 0; bits &= bits - 1) last = bits & (~bits + 1);
    return static_cast<QMessageBox::StandardButton>(last);
  }

  std::deque<QMessageBox::StandardButton> answers_;
  ScopedMessageService scope_;
};

}  // namespace velmor::ui::testing
