// Runs velmorctl in-process, and a demo station to run it on.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/DemoStation.h"
#include "tests/common/TempPrefix.h"

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

// A demo station in <prefix>/station, selected by the environment its creation prints.
class DemoStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(CreateDemoStation(dir, error)) << error;
  }
  std::string At(const std::string& relative) const { return dir + "/" + relative; }
  std::string Read(const std::string& relative) const {
    return prefix.ReadFile(At(relative)).value_or("(fehlt)");
  }
  bool Exists(const std::string& relative) const { return prefix.Exists(At(relative)); }

  testing::TempPrefix prefix;
  const std::string dir = prefix.Root() + "/station";
  testing::ScopedEnv wineprefix{"WINEPREFIX", dir};
  testing::ScopedEnv customer{"KUNDEN_KENNUNG", "DEMO"};
  testing::ScopedEnv user{"KENNUNG", "USER1"};
  testing::ScopedEnv station{"STATIONS_NUMMER", "01"};
};

}  // namespace velmor::cli
