// The scripted seams of the widget tests: message boxes and folder dialogs. Each installs itself for its
// lifetime; nothing ever blocks.
//
// ScriptedMessages: answers are queued before the action that asks, every box and every error sound
// is recorded.
//
//   ScriptedMessages messages;
//   messages.Answer(QMessageBox::Yes);    // the next box with a choice gets "Yes"
//   tree.DoSomething();
//   EXPECT_EQ(messages.boxes, QStringList({"Warnung: ..."}));
//
// A box that offers only one button needs no queued answer. A box with a choice and no queued answer is
// a test fault: it is reported and answered with Cancel (else No), as a user closing the box would.
//
// ScriptedDialogs: records each request of the dialog seam and answers from a queue, so no dialog
// ever opens.
//
//   ScriptedDialogs dialogs;
//   dialogs.answers = {QString("C:\\EPLAN5"), std::nullopt};  // OK with that folder, then Cancel
//   edit.DoClick();
//   EXPECT_EQ(dialogs.calls, QStringList({"select:\\"}));
//
// Calls are recorded as "select:<start>", "browse:<start>|<text>", "host:<start>", "connect" and
// "disconnect". The folder dialogs take their answers from `answers` (nullopt or none left = Cancel);
// the network dialogs report nothing connected or disconnected.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <bit>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>

#include "tests/Texts.h"
#include "ui/FolderDialogs.h"
#include "ui/MessageService.h"

// Lets GoogleTest print QString values in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace velmor::ui::testing {

// A text of tests/texts.txt.
inline QString Text(const std::string& name) {
  return QString::fromStdString(velmor::testing::Text(name));
}

class ScriptedMessages : public IMessageService {
 public:
  ScriptedMessages() : scope_(*this) {}
  ~ScriptedMessages() override {
    if (!answers_.empty()) ADD_FAILURE() << answers_.size() << " queued answer(s) never used";
  }
  ScriptedMessages(const ScriptedMessages&) = delete;
  ScriptedMessages& operator=(const ScriptedMessages&) = delete;

  // Queues the answer for the next box that offers a choice.
  void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }

  QString Last() const {
    if (boxes.empty()) ADD_FAILURE() << "no message box was shown";
    return boxes.empty() ? QString() : boxes.back();
  }
  // Every box so far as one text, each with a line break after it, as the texts of tests/texts.txt are
  // written; the time a transfer began reads "am TT.MM.JJJJ um hh:mm Uhr".
  QString Shown() const {
    static const QRegularExpression time("am \\d\\d\\.\\d\\d\\.\\d{4} um \\d\\d:\\d\\d Uhr");
    return QString(boxes.join('\n') + '\n').replace(time, "am TT.MM.JJJJ um hh:mm Uhr");
  }
  void Clear() {
    boxes.clear();
    beeps = 0;
  }

  QMessageBox::StandardButton TypedBox(Kind kind, const QString& text,
                                       QMessageBox::StandardButtons buttons) override {
    Record(CaptionOf(kind) + ": " + text);
    if (std::popcount(static_cast<unsigned>(buttons.toInt())) <= 1) {
      return buttons == QMessageBox::NoButton ? QMessageBox::Ok
                                              : static_cast<QMessageBox::StandardButton>(buttons.toInt());
    }
    if (answers_.empty()) {
      ADD_FAILURE() << "no answer queued for the box \"" << text.toStdString() << "\"";
      return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
    }
    const QMessageBox::StandardButton answer = answers_.front();
    answers_.pop_front();
    if (!buttons.testFlag(answer)) {
      ADD_FAILURE() << "queued answer " << answer << " is not offered by the box \"" << text.toStdString()
                    << "\"";
    }
    return answer;
  }
  void PlainBox(const QString& text) override { Record("Meldung: " + text); }
  void ErrorBox(const QString& text) override { Record("Fehlerbox: " + text); }
  // The answer is "OK" (-1) unless the index of a further button was queued in listAnswers.
  int ErrorListBox(const QString& text, const QStringList& lines, const QStringList& buttons) override {
    Record((QStringList({"Fehlerliste: " + text}) + lines + QStringList({"[" + buttons.join("][") + "]"}))
               .join(" | "));
    if (listAnswers.empty()) return -1;
    const int answer = listAnswers.front();
    listAnswers.pop_front();
    return answer;
  }
  void Beep() override { ++beeps; }

  std::deque<int> listAnswers;
  // Every box so far, in order: the caption of a typed box ("Meldung", "Fehlerbox" or "Fehlerliste"
  // for the others), ": " and the text; a list box adds its lines and further buttons, " | " apart.
  QStringList boxes;
  int beeps = 0;
  // Called after each box is recorded (e.g. to look at the widget's state while the box "is open").
  std::function<void()> onBox;

 private:
  void Record(const QString& box) {
    boxes << box;
    if (onBox) onBox();
  }

  std::deque<QMessageBox::StandardButton> answers_;
  ScopedMessageService scope_;
};

class ScriptedDialogs : public IFolderDialogs {
 public:
  ScriptedDialogs() : scope_(*this) {}

  bool SelectDirectory(QWidget*, QString& folder) override { return Answer("select:" + folder, folder); }
  bool BrowseForFolder(QString& folder, const QString& text, int) override {
    return Answer("browse:" + folder + "|" + text, folder);
  }
  bool ConnectNetworkDrive(QWidget*, QChar*) override {
    calls << "connect";
    return false;
  }
  bool DisconnectNetworkDrive(QWidget*) override {
    calls << "disconnect";
    return false;
  }
  bool ChooseHostFolder(QWidget*, const QString&, QString& folder) override {
    return Answer("host:" + folder, folder);
  }

  std::deque<std::optional<QString>> answers;
  QStringList calls;

 private:
  bool Answer(const QString& call, QString& folder) {
    calls << call;
    if (answers.empty()) return false;
    const std::optional<QString> answer = answers.front();
    answers.pop_front();
    if (!answer) return false;
    folder = *answer;
    return true;
  }
  ScopedFolderDialogs scope_;
};

}  // namespace velmor::ui::testing
