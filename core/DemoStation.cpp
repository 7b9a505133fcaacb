#include "core/DemoStation.h"

#include <array>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "core/EplanEnvironment.h"
#include "core/WindowSettings.h"
#include "platform/Platform.h"

namespace velmor {
namespace {

// The registry as Wine writes it for a 32-bit prefix; key paths and values escape "\" as "\\".
constexpr std::string_view kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1700000000\n"
    "#time=1da1c2b3c4d5e6f\n"
    "\"EXEDIR\"=\"C:\\\\EPLAN5\\\\BIN\"\n"
    "\"VERSION\"=\"5.40\"\n"
    "\n";

// The window's settings as a user left them after a first transfer.
std::string DemoSettings() {
  std::string ini = "[" + std::string(settings::kSection) + "]\r\n";
  for (const auto& [storedText, value] :
       {std::pair{settings::kEplanDir, "C:\\EPLAN5"}, std::pair{settings::kProjectName, "DEMO1"},
        std::pair{settings::kExfDir, "D:\\EXF"}, std::pair{settings::kExpDir, "D:\\EXF\\EXP"},
        std::pair{settings::kAscDir, "D:\\EXF\\ASC"}})
    ini += settings::KeyOf(storedText) + "=" + value + "\r\n";
  return ini;
}

constexpr std::string_view kExfHeader =
    "EXF 2.1 Kelvra Export\r\n"
    "100 DEMO1\r\n"
    "110 Demoanlage Pumpensteuerung\r\n"
    "200 2\r\n"
    "950 SYM01.ASC,SYM02.ASC,NORM01.ASC\r\n"
    "999 ENDE\r\n";

// A parameter file as EPLAN leaves it: binary data around five folder slots, each path ended by 0xBA
// and followed by leftovers of earlier, longer values.
std::string DemoApd() {
  std::string apd(1024, '\0');
  uint32_t seed = 0x5A17u;
  for (char& c : apd) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>((seed >> 16) & 0xFF);
  }
  const std::string_view magic = "EPLAN 5.40 Parameterdatei DEMO/USER1";
  apd.replace(0, magic.size(), magic);
  apd[magic.size()] = '\0';
  const std::array<std::string_view, 5> folders = {"C:\\EPLAN5\\P\\", "C:\\EPLAN5\\MAKROS\\",
                                                   "C:\\EPLAN5\\NS\\", "C:\\EPLAN5\\LAGER\\",
                                                   "C:\\EPLAN5\\FORM\\"};
  for (size_t i = 0; i < folders.size(); ++i) {
    const size_t at = kApdSlotOffsets[i];
    apd.replace(at, folders[i].size(), folders[i]);
    apd[at + folders[i].size()] = '\xBA';
    // A stale tail that a reader must not show.
    const std::string_view stale = "ALT\\";
    apd.replace(at + folders[i].size() + 1, stale.size(), stale);
  }
  return apd;
}

// A 1x1 pixel 24-bit bitmap.
std::string DemoBitmap() {
  const unsigned char bmp[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0, 40, 0, 0,   0, 1, 0,
                               0,   0,   1,  0, 0, 0, 1, 0, 24, 0, 0,  0, 0, 0, 4,  0, 0,   0, 0, 0,
                               0,   0,   0,  0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 0,  0, 255, 0};
  return std::string(reinterpret_cast<const char*>(bmp), sizeof bmp);
}

std::vector<std::pair<std::string, std::string>> DemoFiles() {
  return {
      {"system.reg", std::string(kSystemReg)},
      {"drive_c/EPLAN5/O/DEMO/USER1.APD", DemoApd()},
      {"drive_c/EPLAN5/O/DEMO/01/ARGV.DAT", "ALT\r\n"},
      {"drive_c/EPLAN5/P/ALT.P/PROJEKT.INF", "ALT\r\nAltes Demoprojekt\r\n"},
      {"drive_c/EPLAN5/P/ALT.P/S001.SEI", "Seite 1\r\n"},
      {"drive_c/EPLAN5/P/ALT.P/S002.SEI", "Seite 2\r\n"},
      {"drive_c/EPLAN5/NS/ALT01.ASC", "ASC ALT01\r\n"},
      {"drive_c/EPLAN5/NS/ALT02.ASC", "ASC ALT02\r\n"},
      {"drive_c/EPLAN5/NS/SYM01.ASC", "ASC SYM01 alte Fassung\r\n"},
      {"drive_c/windows/" + std::string(settings::kFile), DemoSettings()},
      {"drive_d/EXF/EPL_ASC.EXF", std::string(kExfHeader)},
      {"drive_d/EXF/S001.EXF", "EXF Seite 1\r\n"},
      {"drive_d/EXF/S002.EXF", "EXF Seite 2\r\n"},
      {"drive_d/EXF/LOGO.BMP", DemoBitmap()},
      {"drive_d/EXF/ASC/SYM01.ASC", "ASC SYM01\r\n"},
      {"drive_d/EXF/ASC/SYM02.ASC", "ASC SYM02\r\n"},
      {"drive_d/EXF/ASC/NORM/NORM01.ASC", "ASC NORM01\r\n"},
      {"drive_d/EXF/EXP/RAHMEN1.EXP", "Rahmen A3\r\n"},
      {"drive_d/EXF/EXP/RAHMEN2.EXP", "Rahmen A4\r\n"},
  };
}

constexpr std::array<std::string_view, 8> kDemoFolders = {
    "dosdevices",          "drive_c/EPLAN5/BIN", "drive_c/EPLAN5/MAKROS", "drive_c/EPLAN5/LAGER",
    "drive_c/EPLAN5/FORM", "drive_c/windows",    "drive_d/EXF/EXP",       "drive_d/EXF/ASC/NORM",
};

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// True when hostDir is a folder with nothing in it. It is reached through the drive map like every
// other path, so that this stays free of direct file-system calls.
bool IsEmptyFolder(platform::IFileSystem& os, const std::string& hostDir) {
  const std::string windowsPath = os.ToWindows(hostDir);
  if (!os.DirectoryExists(windowsPath)) return false;
  const auto listing = os.ListFolder(windowsPath);
  if (!listing) return false;
  for (size_t i = 0; i < listing->Count(); ++i) {
    const std::string_view name = listing->Name(i);
    if (name != "." && name != "..") return false;
  }
  return true;
}

}  // namespace

std::string DemoStationEnvLine(const std::string& hostDir) {
  return "WINEPREFIX=" + hostDir + " KUNDEN_KENNUNG=DEMO KENNUNG=USER1 STATIONS_NUMMER=01";
}

bool CreateDemoStation(platform::IFileSystem& files, platform::ISystem& os, const std::string& hostDir,
                       std::string& error) {
  if (hostDir.empty() || hostDir.front() != '/') {
    error = "Der Ordner \"" + hostDir + "\" ist kein absoluter Pfad";
    return false;
  }
  std::string root = hostDir;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string base = root == "/" ? root : root + "/";

  if (!os.HostCreateDirectories(root)) {
    error = "Der Ordner " + root + " kann nicht angelegt werden";
    return false;
  }
  // An existing station, or anything else, is never overwritten.
  if (!IsEmptyFolder(files, root)) {
    error = "Der Ordner " + root + " ist nicht leer; die Demo-Station braucht einen leeren Ordner";
    return false;
  }
  for (std::string_view folder : kDemoFolders) {
    const std::string path = base + std::string(folder);
    if (!os.HostCreateDirectories(path)) {
      error = "Der Ordner " + path + " kann nicht angelegt werden";
      return false;
    }
  }
  const std::array<std::pair<std::string_view, std::string_view>, 3> links = {
      {{"../drive_c", "c:"}, {"../drive_d", "d:"}, {"/", "z:"}}};
  for (const auto& [target, name] : links) {
    const std::string link = base + "dosdevices/" + std::string(name);
    if (!os.HostSymlink(target, link)) {
      error = "Die Laufwerksverknüpfung " + link + " kann nicht angelegt werden";
      return false;
    }
  }
  for (const auto& [relative, content] : DemoFiles()) {
    const std::string path = base + relative;
    if (!os.HostCreateDirectories(Parent(path)) || !os.HostWriteFile(path, content)) {
      error = "Die Datei " + path + " kann nicht geschrieben werden";
      return false;
    }
  }
  return true;
}

}  // namespace velmor
