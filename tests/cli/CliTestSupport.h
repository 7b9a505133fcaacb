// Runs velmorctl in-process, and a demo station to run it on.
#pragma once

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/Texts.h"
#include "tests/common/DemoStationWorld.h"

namespace velmor::cli {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

inline CliRun Velmorctl(const std::vector<std::string>& args, bool stdinIsTerminal = false,
                        const std::string& input = "") {
  std::ostringstream out, err;
  std::istringstream in(input);
  Console console{out, err, in, stdinIsTerminal, false};
  const int code = RunMain(args, console);
  return {code, out.str(), err.str()};
}
// A text with each well-formed journal id (date-time-process, a count when the process made more than
// one) as "ID".
inline std::string WithoutIds(const std::string& text) {
  static const std::regex id("\\b[0-9]{8}-[0-9]{6}-[0-9]+(-[0-9]+)?\\b");
  return std::regex_replace(text, id, "ID");
}
// A whole run as one text to compare at once: the exit code, stdout, then stderr after "--".
inline std::string Shown(const CliRun& r) {
  return WithoutIds("exit " + std::to_string(r.code) + "\n" + r.out + (r.err.empty() ? "" : "--\n" + r.err));
}
// A run as Shown gives it after a line with its arguments ("$ velmorctl size D:\P"): several of them
// make one transcript to compare at once.
inline std::string Transcript(const std::vector<std::string>& args) {
  std::string command = "$ velmorctl";
  for (const std::string& arg : args) command += " " + arg;
  return WithoutIds(command + "\n") + Shown(Velmorctl(args));
}

// The transcript of tests/texts.txt named `name` run again: each of its "$ velmorctl ..." lines, the
// arguments apart by blanks, run as Transcript runs them. Compared with the text, it shows every run
// whose output changed.
inline std::string Replayed(const std::string& name) {
  std::istringstream lines(testing::Text(name));
  std::string replayed;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("$ velmorctl")) continue;
    std::istringstream words(line.substr(11));
    replayed += Transcript({std::istream_iterator<std::string>(words), {}});
  }
  return replayed;
}

class DemoStationTest : public ::testing::Test, protected testing::DemoStationWorld {};

}  // namespace velmor::cli
