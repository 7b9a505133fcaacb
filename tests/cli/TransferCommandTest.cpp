#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "core/DemoStation.h"
#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

// velmorctl finds the sample project beside its program; the tests run as their own program, so the
// project's sample folder is placed beside it the way the build places it beside velmorctl.
void PlaceSampleProjectBesideTestProgram() {
  const fs::path target = fs::canonical("/proc/self/exe").parent_path() / "EXF0";
  if (fs::exists(target)) return;
  const fs::path source = fs::path(__FILE__).parent_path().parent_path().parent_path() / "data" / "EXF0";
  const fs::path staging = target.string() + ".tmp" + std::to_string(getpid());
  fs::copy(source, staging, fs::copy_options::recursive);
  std::error_code ec;
  fs::rename(staging, target, ec);  // another test program may have won the race
  fs::remove_all(staging, ec);
}

std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_symlink()) continue;
    std::string content;
    if (e.is_regular_file()) {
      std::ifstream f(e.path(), std::ios::binary);
      std::ostringstream s;
      s << f.rdbuf();
      content = s.str();
    }
    tree[fs::relative(e.path(), root).string()] = content;
  }
  return tree;
}

class TransferCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlaceSampleProjectBesideTestProgram();
    station = prefix.Root() + "/station";
    std::string error;
    ASSERT_TRUE(CreateDemoStation(station, error)) << error;
  }

  int Run(std::vector<std::string> args, bool stdinIsTerminal = false, const std::string& input = "") {
    out.str("");
    err.str("");
    in.str(input);
    in.clear();
    args.insert(args.begin(), "transfer");
    Console console{out, err, in, stdinIsTerminal, false};
    return RunMain(args, console);
  }

  std::string Read(const std::string& rel) const {
    std::ifstream f(station + "/" + rel, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

  testing::TempPrefix prefix;
  std::string station;
  testing::ScopedEnv wineprefix{"WINEPREFIX", prefix.Root() + "/station"};
  testing::ScopedEnv customer{"KUNDEN_KENNUNG", "DEMO"};
  testing::ScopedEnv user{"KENNUNG", "USER1"};
  testing::ScopedEnv stationNumber{"STATIONS_NUMMER", "01"};
  std::ostringstream out, err;
  std::istringstream in;
};

TEST_F(TransferCommandTest, TransfersIntoANewProjectFromTheStoredSettings) {
  ASSERT_EQ(Run({"--yes", "--quiet"}), kExitOk) << err.str();
  // Five sample files, the header, two pages and a bitmap, two frames, three symbols.
  EXPECT_EQ(out.str(),
            "Projekt C:\\EPLAN5\\P\\DEMO1.P, 14 Dateien kopiert, 3 Symboldateien gesichert, ARGV.DAT "
            "geschrieben\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "DEMO1\r\n");
  EXPECT_TRUE(fs::exists(station + "/drive_c/EPLAN5/P/DEMO1.P/PROJEKT.KOP"));
  EXPECT_FALSE(fs::exists(station + "/drive_c/EPLAN5/P/DEMO1.P/SH1"));
  EXPECT_EQ(Read("drive_c/EPLAN5/P/DEMO1.P/RAHMEN2.EXP"), "Rahmen A4\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/SYM01.ASC"), "ASC SYM01 alte Fassung\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SYM01.ASC"), "ASC SYM01\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/NORM01.ASC"), "ASC NORM01\r\n");
}

TEST_F(TransferCommandTest, OptionsOverrideTheStoredSettings) {
  ASSERT_EQ(
      Run({"--name", "NEU", "--project-path", station + "/drive_d", "--exf", "D:\\EXF\\ASC", "--quiet"}),
      kExitOk)
      << err.str();
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "NEU\r\n");
  // The EXF folder has no header: only the samples reach the project; the symbols come from it too.
  EXPECT_TRUE(fs::exists(station + "/drive_d/NEU.P/PROJEKT.KOP"));
  EXPECT_FALSE(fs::exists(station + "/drive_d/NEU.P/S001.EXF"));
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/NORM01.ASC"), "ASC NORM01\r\n");
}

TEST_F(TransferCommandTest, DryRunPrintsThePlanAndChangesNothing) {
  const auto before = Listing(station);
  ASSERT_EQ(Run({"--dry-run", "--name", "PLAN"}), kExitOk) << err.str();
  EXPECT_EQ(Listing(station), before);
  const std::string plan = out.str();
  EXPECT_EQ(plan.rfind("Ordner anlegen: C:\\EPLAN5\\NS\\SIASC\n", 0), 0u) << plan;
  EXPECT_NE(plan.find("löschen: C:\\EPLAN5\\NS\\ALT01.ASC\n"), std::string::npos);
  EXPECT_NE(plan.find("Ordner anlegen: C:\\EPLAN5\\P\\PLAN.P\n"), std::string::npos);
  EXPECT_NE(plan.find("kopieren: D:\\EXF\\EXP\\RAHMEN1.EXP -> C:\\EPLAN5\\P\\PLAN.P\\RAHMEN1.EXP\n"),
            std::string::npos);
  EXPECT_NE(
      plan.find("schreiben: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT = \"PLAN\"\nProbelauf, nichts geändert: "),
      std::string::npos)
      << plan;
}

TEST_F(TransferCommandTest, ExistingProjectNeedsAnAnswer) {
  const std::string existing = "drive_c/EPLAN5/P/ALT.P/PROJEKT.INF";
  {
    SCOPED_TRACE("no terminal and no --yes/--no: refused");
    EXPECT_EQ(Run({"--name", "ALT"}), kExitFailed);
    EXPECT_NE(err.str().find("vorhandene EXF-Daten überschreiben ??\n"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(station + "/drive_c/EPLAN5/P/ALT.P/PROJEKT.KOP"));
  }
  {
    SCOPED_TRACE("--no");
    EXPECT_EQ(Run({"--name", "ALT", "--no"}), kExitFailed);
    EXPECT_FALSE(fs::exists(station + "/drive_c/EPLAN5/P/ALT.P/PROJEKT.KOP"));
    EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ALT\r\n");
  }
  {
    SCOPED_TRACE("asked on the terminal, answered yes");
    EXPECT_EQ(Run({"--name", "ALT", "--quiet"}, true, "j\n"), kExitOk) << err.str();
    EXPECT_NE(err.str().find("vorhandene EXF-Daten überschreiben ?? [j/N] "), std::string::npos);
    EXPECT_TRUE(fs::exists(station + "/drive_c/EPLAN5/P/ALT.P/PROJEKT.KOP"));
    EXPECT_EQ(Read(existing), "ALT\r\nAltes Demoprojekt\r\n");
  }
}

TEST_F(TransferCommandTest, RefusalsAndWrongUsage) {
  const auto before = Listing(station);
  EXPECT_EQ(Run({"--name", "..\\X", "--yes"}), kExitFailed);
  EXPECT_EQ(err.str(), "Ungültiger Projektname: ..\\X\n");
  EXPECT_EQ(Listing(station), before);

  EXPECT_EQ(Run({"--yes", "--no"}), kExitUsage);
  EXPECT_EQ(Run({"ANLAGE"}), kExitUsage);
  EXPECT_EQ(Run({"--name"}), kExitUsage);
  EXPECT_EQ(Listing(station), before);
  EXPECT_EQ(Run({"--help"}), kExitOk);
  EXPECT_NE(out.str().find("--dry-run"), std::string::npos);
}

}  // namespace
}  // namespace velmor::cli
