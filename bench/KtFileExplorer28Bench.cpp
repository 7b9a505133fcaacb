// Expanding a folder with many sub-folders in the project folder tree: every sub-folder is listed once
// more to decide whether it gets an expand button. Prints the time of the expansion alone (the first
// paint included) and, for comparison, the time GNU find needs to list the same folders two levels deep.
//
//   KtFileExplorer28Bench [COUNT] [--dir HOSTDIR] [--cold]
//
// COUNT sub-folders (default 20000, every second with a sub-folder of its own) are made in HOSTDIR
// (default: inside the temporary prefix) unless it holds them already. --cold drops the page cache
// before the expansion and again before find (root only; otherwise it says so and exits with 3).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeWidgetItem>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/common/TempPrefix.h"
#include "ui/KtFileExplorer28.h"

namespace {

bool DropCaches() {
  sync();
  const int fd = open("/proc/sys/vm/drop_caches", O_WRONLY);
  if (fd < 0) return false;
  const bool ok = write(fd, "3\n", 2) == 2;
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int count = 20000;
  std::string dir;
  bool cold = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
      dir = argv[++i];
    else if (std::strcmp(argv[i], "--cold") == 0)
      cold = true;
    else
      count = std::atoi(argv[i]);
  }
  QApplication app(argc, argv);
  velmor::testing::TempPrefix prefix;
  std::string big = prefix.Abs("drive_c/Gross");
  if (!dir.empty()) {
    std::filesystem::create_directories(dir);
    big = std::filesystem::absolute(dir).lexically_normal().string();
    while (big.size() > 1 && big.back() == '/') big.pop_back();
    // Drive D: is the folder above it, so the tree reaches it as D:\<name>.
    prefix.AddDrive('d', std::filesystem::path(big).parent_path().string());
  }
  const std::string name = std::filesystem::path(big).filename().string();
  if (!std::filesystem::exists(big + "/Ordner" + std::to_string(count - 1))) {
    for (int i = 0; i < count; ++i) {
      const std::string folder = big + "/Ordner" + std::to_string(i);
      std::filesystem::create_directories(i % 2 == 0 ? folder + "/Innen" : folder);
    }
  }
  if (cold && !DropCaches()) {
    std::printf("cold cache needs root (/proc/sys/vm/drop_caches): skipped\n");
    return 3;
  }
  velmor::ui::TKtDirTree21 tree;
  tree.resize(400, 600);
  tree.show();
  tree.ExpandToPath(dir.empty() ? "C:\\" : "D:\\");
  QTreeWidgetItem* node = nullptr;
  for (int i = 0; i < tree.currentItem()->childCount(); ++i) {
    if (tree.currentItem()->child(i)->text(0) == QString::fromStdString(name))
      node = tree.currentItem()->child(i);
  }
  if (node == nullptr) return 1;

  const auto start = std::chrono::steady_clock::now();
  node->setExpanded(true);
  QCoreApplication::processEvents();  // includes the first paint of the expanded folder
  const double treeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (cold) DropCaches();
  const std::string command = "find '" + big + "' -mindepth 1 -maxdepth 2 -type d > /dev/null";
  const auto findStart = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double findSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - findStart).count();

  std::printf("expand %d sub-folders (each probed): %.3f s, %d nodes\n", count, treeSeconds,
              node->childCount());
  std::printf("GNU find over the same folders, two levels: %.3f s (rc %d), ratio %.1f\n", findSeconds, rc,
              treeSeconds / findSeconds);
  return node->childCount() == count ? 0 : 1;
}
