// Writes a benchmark tree: N files with mixed-case names and extensions spread over nested folders, a
// few hidden files, some deep folder chains and one folder with 20,000 sub-folders.
// Usage: make_tree DIR FILES   |   make_tree --content DIR FILES BYTES (text files, some with a phrase)
//        make_tree --big DIR FILES TOTAL_BYTES (for the copy)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (!bytes.empty() && write(fd, bytes.data(), bytes.size()) < 0) perror(path.c_str());
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::mt19937 rng(42);
  if (argc == 5 && std::string(argv[1]) == "--content") {
    const std::string dir = argv[2];
    const long files = atol(argv[3]);
    const long bytes = atol(argv[4]);
    for (long i = 0; i < files; ++i) {
      const std::string folder = dir + "/D" + std::to_string(i % 100);
      fs::create_directories(folder);
      std::string text;
      while (static_cast<long>(text.size()) < bytes) text += "Seite 12 Schaltplan Motor M1 Klemme X1:3 ";
      text.resize(static_cast<size_t>(bytes));
      if (i % 50 == 0) text.replace(text.size() / 2, 13, "Klemmenleiste");
      Write(folder + "/F" + std::to_string(i) + ".EXF", text);
    }
    return 0;
  }
  if (argc == 5 && std::string(argv[1]) == "--big") {
    const std::string dir = argv[2];
    const long files = atol(argv[3]);
    const long total = atol(argv[4]);
    const std::string chunk(static_cast<size_t>(total / files), 'e');
    for (long i = 0; i < files; ++i) {
      const std::string folder = dir + "/S" + std::to_string(i % 20);
      fs::create_directories(folder);
      Write(folder + "/P" + std::to_string(i) + ((i % 2) ? ".EXF" : ".bmp"), chunk);
    }
    return 0;
  }
  if (argc != 3) {
    fprintf(stderr, "usage: make_tree DIR FILES\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long files = atol(argv[2]);
  const char* extensions[] = {"ASC", "asc", "EXF", "exf", "BMP", "Bmp", "EXP", "txt", "DAT", "c", "h", "log"};
  const char* stems[] = {"Schalt", "motor", "KLEMME", "Relais", "sh", "Plan", "x"};
  // One folder with 20,000 sub-folders (empty but one file each tenth).
  const std::string wide = dir + "/WIDE";
  for (int i = 0; i < 20000; ++i) {
    const std::string sub = wide + "/W" + std::to_string(i);
    fs::create_directories(sub);
    if (i % 10 == 0) Write(sub + "/w" + std::to_string(i) + ".asc", "");
  }
  long written = 2000;
  // Some deep chains.
  for (int chain = 0; chain < 5; ++chain) {
    std::string deep = dir + "/DEEP" + std::to_string(chain);
    for (int level = 0; level < 30; ++level) {
      deep += "/L" + std::to_string(level);
      fs::create_directories(deep);
      Write(deep + "/d" + std::to_string(level) + ".EXF", "");
      ++written;
    }
  }
  // The bulk: about 50 files per folder, folders nested three levels.
  for (long i = written; i < files; ++i) {
    const long folderIndex = i / 50;
    const std::string folder = dir + "/A" + std::to_string(folderIndex % 20) + "/B" +
                               std::to_string((folderIndex / 20) % 50) + "/C" + std::to_string(folderIndex);
    if (i % 50 == 0 || i == written) fs::create_directories(folder);
    std::string name = std::string(stems[rng() % 7]) + std::to_string(i) + "." + extensions[rng() % 12];
    if (i % 997 == 0) name = "." + name;  // a few hidden files
    Write(folder + "/" + name, "");
  }
  return 0;
}
