// What older backups cost the backup step: a transfer that moves 8,000 symbol files into SIASC, timed
// on a station whose SIASC is empty and on one where it already holds an older backup of every file
// (and a versioned one of every tenth), each run on a fresh copy of its station, alternating. The
// step lists SIASC once per run and keeps that listing current, so the second must stay within
// twice the first. Prints the medians and the ratio.
// Usage: backup_history [DIR] [RUNS]   (DIR default /tmp/velmor-bench/backups, RUNS default 3)
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchTransfer.h"
#include "core/DemoStation.h"
#include "core/ProjectTransfer.h"

namespace fs = std::filesystem;
using velmor::bench::Median;

namespace {

constexpr int kOriginals = 8000;

// A station with kOriginals symbol files in its normal master data folder; with history, SIASC holds
// an older backup of each.
bool MakeStation(const std::string& base, bool history) {
  std::string error;
  if (!velmor::CreateDemoStation(velmor::platform::Os(), velmor::platform::Os(), base, error)) {
    fprintf(stderr, "backup_history: %s\n", error.c_str());
    return false;
  }
  const std::string ns = base + "/drive_c/EPLAN5/NS/";
  fs::create_directories(ns + "SIASC");
  for (int i = 0; i < kOriginals; ++i) {
    char name[32];
    snprintf(name, sizeof name, "S%05d.ASC", i);
    const std::string body = "ASC " + std::to_string(i) + "\r\n" + std::string(2048 + i % 4096, 'L');
    std::ofstream(ns + name, std::ios::binary) << body;
    if (!history) continue;
    std::ofstream(ns + "SIASC/" + name, std::ios::binary) << "older " << body;
    if (i % 10 == 0) {
      snprintf(name, sizeof name, "S%05d.~001.ASC", i);
      std::ofstream(ns + "SIASC/" + name, std::ios::binary) << "oldest " << i;
    }
  }
  fs::create_directories(base + "/drive_c/VELMOR/EXF0");
  std::ofstream(base + "/drive_c/VELMOR/EXF0/PROJEKT.KOP") << "Kopf\r\n";
  return true;
}

double TransferSeconds(const std::string& station) {
  double seconds = 0;
  const velmor::TransferResult result = velmor::bench::TimedTransfer(station, seconds);
  if (result.SymbolsBackedUp < kOriginals || !result.KeptOriginals.empty())
    fprintf(stderr, "backup_history: unexpected result: %zu backed up, %zu kept\n", result.SymbolsBackedUp,
            result.KeptOriginals.size());
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/velmor-bench/backups";
  const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
  fs::remove_all(dir);
  if (!MakeStation(dir + "/empty", false) || !MakeStation(dir + "/history", true)) return 1;
  setenv("KUNDEN_KENNUNG", "DEMO", 1);
  setenv("STATIONS_NUMMER", "01", 1);

  std::vector<double> empty, history;
  for (int run = 0; run < runs; ++run) {
    for (const bool older : {false, true}) {
      const std::string station = dir + "/run";
      fs::remove_all(station);
      fs::remove_all(dir + "/state");
      fs::copy(dir + (older ? "/history" : "/empty"), station,
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
      setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
      sync();
      (older ? history : empty).push_back(TransferSeconds(station));
    }
  }
  fs::remove_all(dir);
  const double a = Median(empty), b = Median(history);
  printf(
      "backup of %d symbol files (median of %d): into an empty SIASC %.3f s, beside older backups %.3f s, "
      "ratio %.3f (goal <= 2.0)\n",
      kOriginals, runs, a, b, b / a);
  return 0;
}
