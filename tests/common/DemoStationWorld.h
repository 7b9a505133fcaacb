// A demo station in <prefix>/station, chosen through the environment that `velmorctl demo-station`
// prints: the world of the tests that run velmorctl or the window as a user would.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/DemoStation.h"
#include "tests/common/TempPrefix.h"

namespace velmor::testing {

class DemoStationWorld {
 public:
  DemoStationWorld() {
    std::string error;
    if (!CreateDemoStation(platform::HostPlatform(), platform::HostPlatform(), dir, error))
      ADD_FAILURE() << error;
  }

  // A host path below the station.
  std::string At(const std::string& relative) const { return dir + "/" + relative; }
  std::string Read(const std::string& relative) const {
    return prefix.ReadFile(At(relative)).value_or("(fehlt)");
  }
  bool Exists(const std::string& relative) const { return prefix.Exists(At(relative)); }

  TempPrefix prefix;
  const std::string dir = prefix.Root() + "/station";

 private:
  ScopedEnv wineprefix_{"WINEPREFIX", dir};
  ScopedEnv customer_{"KUNDEN_KENNUNG", "DEMO"};
  ScopedEnv user_{"KENNUNG", "USER1"};
  ScopedEnv station_{"STATIONS_NUMMER", "01"};
};

}  // namespace velmor::testing
