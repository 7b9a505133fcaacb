// What reading a large Wine registry file costs: a system.reg-shaped text of 60,000 keys (about 6 MB)
// is parsed RUNS times; prints the median against a plain count of its lines, the least any reading of
// the text must do, and the ratio.
// Usage: registry_parse [RUNS]   (RUNS default 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace {

std::string LargeRegistry() {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
  for (int i = 0; i < 60000; ++i) {
    text += "[Software\\\\Classes\\\\Key" + std::to_string(i) + "\\\\Sub] 1700000000\n#time=1d\n";
    text += "@=\"default value " + std::to_string(i) + "\"\n\"Name\"=\"C:\\\\windows\\\\x.dll\"\n";
  }
  return text + "[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1\n\"EXEDIR\"=\"C:\\\\EPLAN5\"\n";
}

template <typename Work>
double MedianSeconds(int runs, Work work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string text = LargeRegistry();
  bool found = false;
  const double parse = MedianSeconds(runs, [&] {
    const auto reg = velmor::platform::ParseRegistry(text);
    found = reg.String("Software\\EPLAN\\EPLAN 5\\5.40", "EXEDIR").has_value();
  });
  size_t lines = 0;
  const double floor =
      MedianSeconds(runs, [&] { lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); });
  std::printf("registry parse (%.1f MB, %zu lines)  parse %.3fs  line count %.4fs  ratio %.1f%s\n",
              static_cast<double>(text.size()) / 1e6, lines, parse, floor, floor > 0 ? parse / floor : 0.0,
              found ? "" : "  (key not found!)");
  return found ? 0 : 1;
}
