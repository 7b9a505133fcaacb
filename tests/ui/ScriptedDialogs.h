// Scripted dialogs for widget tests: installs itself as the dialog seam for its lifetime, records each
// request and answers from a queue, so no dialog ever opens.
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

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "ui/FolderDialogs.h"

namespace velmor::ui::testing {

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
