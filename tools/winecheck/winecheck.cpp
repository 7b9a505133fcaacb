// The Linux side of the differential check against Wine.
//
// The case tables (Cases.h) name each case, its arguments, the verdict it must keep and our expected
// answer: "same" (our answer and Wine's both are the expected one) or "differs" (our answer is the
// expected one, Wine's is another; the table says why).
//
//   winecheck requests TABLE...            the request lines for the Windows probe, one per case
//   winecheck check WINE-ANSWERS TABLE...  answers every case with the platform layer and holds the
//                                          answers against Wine's, the expected ones and the
//                                          verdicts; exit 1 when a verdict does not hold
//
// Wine's answers are lines of the probe: the id, a tab, the answer escaped as in the tables.
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/winecheck/Cases.h"

namespace {

using velmor::winecheck::Case;

int Check(const std::string& wineAnswers, const std::vector<Case>& cases) {
  std::map<std::string, std::string> wine;
  std::ifstream in(wineAnswers);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) wine[line.substr(0, tab)] = line.substr(tab + 1);
  }
  velmor::platform::IPlatform& os = velmor::platform::HostPlatform();
  size_t same = 0, differs = 0, failed = 0;
  for (const Case& c : cases) {
    const std::string ours = velmor::winecheck::Answer(os, c);
    const auto it = wine.find(c.id);
    std::string problem;
    if (it == wine.end()) {
      problem = "Wine gave no answer";
    } else if (c.same) {
      if (ours != it->second)
        problem = "expected the same as Wine";
      else if (ours != c.expected)
        problem = "both differ from the table's expected answer";
    } else if (ours != c.expected) {
      problem = "our answer is not the expected one";
    } else if (ours == it->second) {
      problem = "Wine now gives the same answer: the difference is gone";
    }
    if (problem.empty()) {
      ++(c.same ? same : differs);
      continue;
    }
    ++failed;
    std::cout << "FAIL " << c.id << " (" << c.table << "): " << problem << "\n  request:  " << c.kind;
    for (const std::string& field : c.arguments) std::cout << "  " << field;
    std::cout << "\n  ours:     " << ours << "\n  wine:     " << (it == wine.end() ? "-" : it->second)
              << "\n  expected: " << c.expected << "\n";
  }
  std::cout << "winecheck: " << cases.size() << " cases, " << same << " same as Wine, " << differs
            << " deliberate differences, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const int first = mode == "requests" ? 2 : 3;
  if ((mode != "requests" && mode != "check") || argc <= first) {
    std::cerr << "usage: winecheck requests TABLE... | winecheck check WINE-ANSWERS TABLE...\n";
    return 2;
  }
  std::vector<Case> cases;
  if (!velmor::winecheck::ReadTables({argv + first, argv + argc}, cases, std::cerr)) return 2;
  if (mode == "check") return Check(argv[2], cases);
  for (const Case& c : cases) std::cout << velmor::winecheck::Request(c) << '\n';
  return 0;
}
