// A complete demo EPLAN 5 workstation in a Wine-prefix-shaped folder, written with host calls only (no
// Wine needed): drive links, system.reg with EPLAN's EXEDIR, the EPLAN folders with a parameter file,
// ARGV.DAT, an existing project, Velmor.INI, and an EXF data set on D:.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace velmor {

// Creates the station in hostDir (absolute host path; created when missing). Refuses a hostDir that
// exists and is not an empty folder. On failure returns false with a German text in error; what was
// written before the failure stays. The station is written through the system's host calls; files
// looks whether the folder is empty.
bool CreateDemoStation(platform::IFileSystem& files, platform::ISystem& system, const std::string& hostDir,
                       std::string& error);

// The environment that selects the station:
// "WINEPREFIX=<hostDir> KUNDEN_KENNUNG=DEMO KENNUNG=USER1 STATIONS_NUMMER=01".
std::string DemoStationEnvLine(const std::string& hostDir);

}  // namespace velmor
