// The commands on a demo station: demo-station itself, env, symbols, headers and transfer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "tests/Texts.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

using TransferCommandTest = DemoStationTest;
using Args = std::vector<std::string>;

TEST_F(TransferCommandTest, TransfersFromTheStoredSettingsOrTheOptions) {
  // Five sample files, the header, two pages and a bitmap, two frames, three symbols.
  EXPECT_EQ(Shown(Velmorctl({"transfer", "--yes", "--quiet"})), testing::Text("velmorctl transfer"));

  // The EXF folder given has no header: only the samples reach the project, the symbols come from it
  // too. A host path for the normal master data keeps its trailing separator.
  const CliRun r = Velmorctl({"transfer", "--name", "NEU", "--project-path", At("drive_d"), "--exf",
                              "D:\\EXF\\ASC", "--normal-master", At("drive_c/EPLAN5/NS/"), "--quiet"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "NEU\r\n");
  EXPECT_TRUE(Exists("drive_d/NEU.P/PROJEKT.KOP"));
  EXPECT_FALSE(Exists("drive_d/NEU.P/S001.EXF"));
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/NORM01.ASC"), "ASC NORM01\r\n");
  EXPECT_FALSE(Exists("drive_c/EPLAN5/NSSIASC"));
}

// A dry run, refused transfers and wrong usage change nothing on the station.
TEST_F(TransferCommandTest, DryRunsRefusalsAndWrongUsageChangeNothing) {
  const auto before = testing::StationListing(dir);
  const CliRun r = Velmorctl({"transfer", "--dry-run", "--name", "PLAN"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  // Each change planned on a line of its own, then what the run would have done: two folders, three
  // backups, their deletions, 14 copies, ARGV.DAT. The sample project lies in the program's folder.
  EXPECT_EQ(std::regex_replace(r.out, std::regex("\\S*\\\\EXF0\\\\"), "PROGRAMM\\EXF0\\"),
            testing::Text("velmorctl transfer --dry-run --name PLAN"));
  EXPECT_EQ(Replayed("velmorctl transfer, refused and wrong usage"),
            testing::Text("velmorctl transfer, refused and wrong usage"));
  EXPECT_EQ(testing::StationListing(dir), before);
}

// Into an existing project only with an answer: --yes, --no, or one typed at a terminal.
TEST_F(TransferCommandTest, ExistingProjectNeedsAnAnswer) {
  std::string shown;
  for (const auto& row : testing::CaseRows("cli/existing-project.tsv", 4)) {
    SCOPED_TRACE(row[0]);
    Args args = {"transfer", "--name", "ALT", "--quiet"};
    for (const std::string& arg : testing::ListField(row[1])) args.push_back(arg);
    const CliRun r = Velmorctl(args, row[2] == "yes", row[3]);
    shown += "# " + row[0] + "\n" + Shown(r) + "(Ende)\n";  // the question at a terminal ends no line
    EXPECT_EQ(Exists("drive_c/EPLAN5/P/ALT.P/PROJEKT.KOP"), r.code == kExitOk);
  }
  EXPECT_EQ(shown, testing::Text("velmorctl transfer into an existing project"));
  EXPECT_EQ(Read("drive_c/EPLAN5/P/ALT.P/PROJEKT.INF"), "ALT\r\nAltes Demoprojekt\r\n");
}

TEST_F(TransferCommandTest, AWriteProtectedOriginalIsAWarningAFailedCopyAnError) {
  auto protect = [&](const std::string& name) {
    fs::permissions(At("drive_c/EPLAN5/NS/" + name), fs::perms::owner_read, fs::perm_options::replace);
  };
  protect("ALT01.ASC");
  EXPECT_EQ(Shown(Velmorctl({"transfer", "--name", "WARN", "--quiet"})),
            testing::Text("velmorctl transfer, a write-protected original"));

  // SYM01.ASC has a new symbol of its name, which cannot replace the protected original.
  protect("SYM01.ASC");
  EXPECT_EQ(Shown(Velmorctl({"transfer", "--name", "FEHLER", "--quiet"})),
            testing::Text("velmorctl transfer, a failed copy"));
}

TEST_F(DemoStationTest, EnvAndSymbolsPrintExactlyTheirLines) {
  EXPECT_EQ(Replayed("velmorctl env and symbols"), testing::Text("velmorctl env and symbols"));
  EXPECT_EQ(Shown(Velmorctl({"symbols", At("drive_d/EXF")})), Shown(Velmorctl({"symbols", "D:\\EXF"})));
  // A header without a record is read: no lines, no failure.
  fs::resize_file(At("drive_d/EXF/EPL_ASC.EXF"), 0);
  EXPECT_EQ(Shown(Velmorctl({"symbols", "D:\\EXF"})), "exit 0\n");
}

TEST_F(DemoStationTest, EnvFailuresGoToStderrWithExitOne) {
  const std::string apd = At("drive_c/EPLAN5/O/DEMO/USER1.APD");
  // Each fault adds to those before it: an empty, an unreadable, a missing parameter file, no registry.
  std::string shown;
  for (const std::function<void()>& fault :
       std::vector<std::function<void()>>{[&] { fs::resize_file(apd, 0); }, [&] { chmod(apd.c_str(), 0444); },
                                          [&] { fs::remove(apd); }, [&] { fs::remove(At("system.reg")); }}) {
    fault();
    shown += Shown(Velmorctl({"env"}));
  }
  EXPECT_EQ(shown, testing::Text("velmorctl env, each fault added to those before"));
}

TEST_F(DemoStationTest, HeadersSplitsOrSaysWhyNot) {
  EXPECT_EQ(Shown(Velmorctl({"headers"})),
            "exit 1\n--\nDie Datei D:\\SEITEN.SPL kann nicht geöffnet werden\n");
  EXPECT_FALSE(Exists("drive_d/SH1"));
  prefix.WriteFile(At("drive_d/SEITEN.SPL"), std::string(256, 'S'));
  EXPECT_EQ(Shown(Velmorctl({"headers"})), "exit 0\n");
  EXPECT_EQ(Read("drive_d/SH3"), std::string(178, 'S'));
}

TEST_F(DemoStationTest, CommandPrintsTheEnvironmentAndRefusesAFolderThatIsNotEmpty) {
  CliRun r = Velmorctl({"demo-station", dir});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("nicht leer"), std::string::npos) << r.err;
  prefix.MakeDir("leer");
  r = Velmorctl({"demo-station", prefix.Abs("leer")});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1),
            "WINEPREFIX=" + prefix.Abs("leer") + " KUNDEN_KENNUNG=DEMO KENNUNG=USER1 STATIONS_NUMMER=01\n");
  EXPECT_EQ(fs::read_symlink(prefix.Abs("leer/dosdevices/z:")), "/");
}

}  // namespace
}  // namespace velmor::cli
