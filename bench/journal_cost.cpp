// What taking a transfer back costs against the transfer itself: a station with N originals, each with
// an older backup of another content in SIASC (renamed aside by the transfer and back by the undo), and
// N new symbols; the transfer and then its undo are timed, RUNS times on fresh copies. Prints the
// medians and the ratio (goal: at most 2).
// Usage: journal_cost --undo N [DIR] [RUNS]   (DIR default /tmp/velmor-bench/undo, RUNS default 3)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchTransfer.h"
#include "core/DemoStation.h"
#include "core/ProjectTransfer.h"
#include "core/TransferUndo.h"

namespace fs = std::filesystem;
using velmor::bench::Median;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) < 0) perror(path.c_str());
  if (fd >= 0) close(fd);
}

double TransferSeconds(const std::string& station, int symbols) {
  double seconds = 0;
  const velmor::TransferResult result = velmor::bench::TimedTransfer(station, seconds);
  if (result.SymbolsBackedUp != static_cast<size_t>(symbols) + 3 || !result.FailedCopies.empty())
    fprintf(stderr, "journal_cost: unexpected result: %zu backed up, %zu failed\n", result.SymbolsBackedUp,
            result.FailedCopies.size());
  return seconds;
}

// The station: symbols originals, each with an older backup of another content, as many new symbols,
// samples. Small symbol files: the measurement is about many files.
bool MakeStation(const std::string& base, int symbols) {
  std::string error;
  if (!velmor::CreateDemoStation(velmor::platform::Os(), velmor::platform::Os(), base, error)) {
    fprintf(stderr, "journal_cost: %s\n", error.c_str());
    return false;
  }
  fs::create_directories(base + "/drive_c/EPLAN5/NS/SIASC");
  for (int i = 0; i < symbols; ++i) {
    char name[32];
    const std::string text = "ASC " + std::to_string(i) + "\r\n";
    snprintf(name, sizeof name, "SYM%05d.ASC", i);
    Write(base + "/drive_c/EPLAN5/NS/" + name, text);
    Write(base + "/drive_c/EPLAN5/NS/SIASC/" + name, "older " + text);
    snprintf(name, sizeof name, "NEU%05d.ASC", i);
    Write(base + "/drive_d/EXF/ASC/" + name, "new " + text);
  }
  fs::create_directories(base + "/drive_c/VELMOR/EXF0");
  for (const char* sample : {"PROJEKT.KOP", "SEITEN.LST", "BMK.TAB", "STRUKTUR.INI", "FORMULAR.ZUO"})
    Write(base + "/drive_c/VELMOR/EXF0/" + sample, std::string(4096, 'x'));
  setenv("KUNDEN_KENNUNG", "DEMO", 1);
  setenv("STATIONS_NUMMER", "01", 1);
  return true;
}

int UndoCost(int symbols, const std::string& dir, int runs) {
  fs::remove_all(dir);
  const std::string base = dir + "/station";
  if (!MakeStation(base, symbols)) return 1;
  std::vector<double> transfers, undos;
  for (int run = 0; run < runs; ++run) {
    const std::string station = dir + "/run";
    fs::remove_all(station);
    fs::remove_all(dir + "/state");
    fs::copy(base, station, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    sync();
    transfers.push_back(TransferSeconds(station, symbols));
    sync();
    velmor::bench::YesReporter reporter;
    velmor::TransferUndo undo(velmor::platform::Os(), velmor::platform::Os(), reporter);
    const auto start = std::chrono::steady_clock::now();
    const velmor::UndoResult result = undo.Run("");
    undos.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (result.Outcome != velmor::UndoOutcome::Done)
      fprintf(stderr, "journal_cost: undo not done: %zu conflicts, %zu failures\n", result.Conflicts.size(),
              result.Failures.size());
  }
  fs::remove_all(dir);
  const double t = Median(transfers), u = Median(undos);
  printf(
      "undo of a transfer of %d symbol files with older backups (median of %d): transfer %.3f s, undo %.3f "
      "s, "
      "ratio %.3f (goal <= 2)\n",
      symbols, runs, t, u, u / t);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "--undo") {
    fprintf(stderr, "usage: journal_cost --undo N [DIR] [RUNS]\n");
    return 2;
  }
  return UndoCost(std::max(1, atoi(argv[2])), argc > 3 ? argv[3] : "/tmp/velmor-bench/undo",
                  argc > 4 ? std::max(1, atoi(argv[4])) : 3);
}
