// Expanding a folder with many sub-folders in the project folder tree: every sub-folder is listed once
// more to decide whether it gets an expand button. Prints the time of the expansion alone and, for
// comparison, the time GNU find needs to list the same folders one level deep.
//
//   KtFileExplorer28Bench [count]     (default 20000)
#include <stdlib.h>

#include <QApplication>
#include <QTreeWidgetItem>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/common/TempPrefix.h"
#include "ui/KtFileExplorer28.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  QApplication app(argc, argv);
  velmor::testing::TempPrefix prefix;
  const std::string big = prefix.Abs("drive_c/Gross");
  for (int i = 0; i < count; ++i) {
    const std::string folder = big + "/Ordner" + std::to_string(i);
    std::filesystem::create_directories(i % 2 == 0 ? folder + "/Innen" : folder);
  }
  velmor::ui::TKtDirTree21 tree;
  tree.resize(400, 600);
  tree.show();
  tree.ExpandToPath("C:\\");
  QTreeWidgetItem* node = nullptr;
  for (int i = 0; i < tree.currentItem()->childCount(); ++i) {
    if (tree.currentItem()->child(i)->text(0) == "Gross") node = tree.currentItem()->child(i);
  }
  if (node == nullptr) return 1;

  const auto start = std::chrono::steady_clock::now();
  node->setExpanded(true);
  QCoreApplication::processEvents();  // includes the first paint of the expanded folder
  const double treeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const std::string command = "find '" + big + "' -mindepth 1 -maxdepth 2 -type d > /dev/null";
  const auto findStart = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double findSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - findStart).count();

  std::printf("expand %d sub-folders (each probed): %.3f s, %d nodes\n", count, treeSeconds,
              node->childCount());
  std::printf("GNU find over the same folders, two levels: %.3f s (rc %d), ratio %.1f\n", findSeconds, rc,
              treeSeconds / findSeconds);
  return treeSeconds < 1.0 ? 0 : 2;
}
