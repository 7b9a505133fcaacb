// What the transfer benchmarks share: one transfer of the demo station's inputs (project BENCH, EXF data
// on D:\EXF, samples in C:\VELMOR\EXF0) timed on a station folder, and the median of several runs.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ProjectTransfer.h"
#include "core/Reporter.h"

namespace velmor::bench {

// Prints what the transfer says and answers every question with yes.
class YesReporter final : public IReporter {
 public:
  void ShowMessage(const std::string& text) override { fprintf(stderr, "%s\n", text.c_str()); }
  bool Confirm(const std::string&) override { return true; }
};

// Runs one transfer on the station (a Wine-prefix-shaped folder) and sets seconds to its time.
inline TransferResult TimedTransfer(const std::string& station, double& seconds) {
  platform::IPlatform& os = platform::Os();
  TFindFileEx FF(os);
  TQxstringlist samples;
  ConfigureSampleSearch(FF, samples);
  SetSampleLocation(FF, "C:\\VELMOR\\");
  YesReporter reporter;
  ProjectTransfer transfer(os, os, FF, samples, reporter);
  const TransferInputs in{"BENCH",      "C:\\EPLAN5\\P", "C:\\EPLAN5\\NS\\",
                          "D:\\EXF",    "D:\\EXF\\ASC",  "D:\\EXF\\EXP",
                          "C:\\EPLAN5", "DEMO",          "01"};
  setenv("WINEPREFIX", station.c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  TransferResult result = transfer.Run(in);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace velmor::bench
