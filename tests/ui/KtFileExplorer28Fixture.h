// A folder tree on a temporary prefix with a few drives and folders, its events recorded and its
// boxes answered by a script.
//
//   C: drive_c/EPLAN/P/{Proj1,Proj2}, drive_c/EPLAN/M, drive_c/.versteckt/Innen, drive_c/windows
//   D: drive_d/Daten (label "Archiv")
//   Z: /   (from the prefix itself)
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "tests/common/TempPrefix.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/KtFileExplorer28.h"

namespace velmor::ui::testing {

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.MakeDir("drive_c/EPLAN/P/Proj1");
    prefix.MakeDir("drive_c/EPLAN/P/Proj2");
    prefix.MakeDir("drive_c/EPLAN/M");
    prefix.MakeDir("drive_c/.versteckt/Innen");
    prefix.MakeDir("drive_d/Daten");
    prefix.WriteFile("drive_d/.windows-label", "Archiv\n");
    tree = std::make_unique<TKtDirTree21>();
    // The events are watched the Qt way; the handlers must fire exactly as often as the signals.
    dirChanged = std::make_unique<QSignalSpy>(tree.get(), &TKtDirTree21::dirChanged);
    fileChanged = std::make_unique<QSignalSpy>(tree.get(), &TKtDirTree21::fileChanged);
    QObject::connect(tree.get(), &TKtDirTree21::treeClicked, [this] { clicks << tree->SelectedPath(); });
    tree->OnDirChange = [this](TKtDirTree21* sender, const QString&) {
      EXPECT_EQ(sender, tree.get());
      ++handlerCalls;
    };
    tree->OnClick = [this](TKtDirTree21*) { ++handlerCalls; };
    tree->OnFileChange = [this](TKtDirTree21*, const QString&) { ++handlerCalls; };
    tree->resize(400, 600);
    tree->show();
  }
  void TearDown() override {
    EXPECT_EQ(handlerCalls, signalsSeen + dirChanged->count() + fileChanged->count() + clicks.size());
    tree.reset();
  }

  // The paths that dirChanged / fileChanged reported, in order.
  static QStringList Paths(const QSignalSpy& spy) {
    QStringList paths;
    for (const QList<QVariant>& arguments : spy) paths << arguments.at(0).toString();
    return paths;
  }
  QStringList DirChanges() const { return Paths(*dirChanged); }
  QStringList FileChanges() const { return Paths(*fileChanged); }
  // Forgets the events so far.
  void ClearDirChanges() {
    signalsSeen += dirChanged->count();
    dirChanged->clear();
  }

  // Child of a node by its text ("P"), or a drive node by letter when text is one character + ':'.
  static QTreeWidgetItem* Child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; node != nullptr && i < node->childCount(); ++i) {
      if (node->child(i)->text(0) == text) return node->child(i);
    }
    return nullptr;
  }
  static QStringList ChildTexts(QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node != nullptr && i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
  }
  // Presses and releases the left button on a node's label, as a user clicks it.
  void ClickLabel(QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton) {
    tree->scrollToItem(node);
    const QRect cell = tree->visualItemRect(node);
    QTest::mouseClick(tree->viewport(), button, Qt::NoModifier, QPoint(cell.left() + 8, cell.center().y()));
  }
  void Navigate(const QString& path) { tree->ExpandToPath(path); }

  velmor::testing::TempPrefix prefix;
  ScriptedMessages messages;
  std::unique_ptr<TKtDirTree21> tree;
  std::unique_ptr<QSignalSpy> dirChanged;
  std::unique_ptr<QSignalSpy> fileChanged;
  QStringList clicks;  // SelectedPath at each click
  int handlerCalls = 0;
  int signalsSeen = 0;  // cleared away
};

}  // namespace velmor::ui::testing
