// The commands on a demo station: demo-station itself, env, symbols, headers and transfer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tests/cli/CliTestSupport.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

using TransferCommandTest = DemoStationTest;
using Args = std::vector<std::string>;

TEST_F(TransferCommandTest, TransfersFromTheStoredSettingsOrTheOptions) {
  // Five sample files, the header, two pages and a bitmap, two frames, three symbols.
  EXPECT_EQ(Shown(RunCommand("transfer", {"--yes", "--quiet"})),
            "exit 0\nProjekt C:\\EPLAN5\\P\\DEMO1.P, 14 Dateien kopiert, 3 Symboldateien gesichert, ARGV.DAT "
            "geschrieben\nZurücknehmen mit: velmorctl undo ID\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "DEMO1\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/P/DEMO1.P/RAHMEN2.EXP"), "Rahmen A4\r\n");

  // The EXF folder given has no header: only the samples reach the project, the symbols come from it
  // too. A host path for the normal master data keeps its trailing separator.
  const CliRun r =
      RunCommand("transfer", {"--name", "NEU", "--project-path", At("drive_d"), "--exf", "D:\\EXF\\ASC",
                              "--normal-master", At("drive_c/EPLAN5/NS/"), "--quiet"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "NEU\r\n");
  EXPECT_TRUE(Exists("drive_d/NEU.P/PROJEKT.KOP"));
  EXPECT_FALSE(Exists("drive_d/NEU.P/S001.EXF"));
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/NORM01.ASC"), "ASC NORM01\r\n");
  EXPECT_FALSE(Exists("drive_c/EPLAN5/NSSIASC"));
}

TEST_F(TransferCommandTest, DryRunPrintsThePlanAndChangesNothing) {
  const auto before = testing::StationListing(dir);
  const CliRun r = RunCommand("transfer", {"--dry-run", "--name", "PLAN"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(testing::StationListing(dir), before);
  // Each change planned on a line of its own (their texts are the transfer's), then what the run would
  // have done: two folders, three backups, their deletions, 14 copies, ARGV.DAT.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 24) << r.out;
  EXPECT_EQ(r.out.rfind("Ordner anlegen: C:\\EPLAN5\\P\\PLAN.P\n", 0), 0u) << r.out;
  EXPECT_TRUE(r.out.ends_with(
      "\nschreiben: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT = \"PLAN\"\nProbelauf, nichts geändert: "
      "Projekt C:\\EPLAN5\\P\\PLAN.P, 14 Dateien kopiert, 3 Symboldateien gesichert, "
      "ARGV.DAT geschrieben\n"))
      << r.out;
}

TEST_F(TransferCommandTest, ExistingProjectNeedsAnAnswer) {
  const std::string question = "vorhandene EXF-Daten überschreiben ??";
  struct Row {
    const char* name;
    Args args;
    bool terminal;
    std::string input;
    std::string shown;
    int code;
  };
  const Row rows[] = {
      {"no terminal, no --yes/--no: refused", {}, false, "", question + "\nKeine Antwort", kExitFailed},
      {"--no", {"--no"}, false, "", question + " Abbrechen\n", kExitFailed},
      {"terminal, answered no", {}, true, "n\n", question + " [j/N] ", kExitFailed},
      {"terminal, answered yes", {}, true, "j\n", question + " [j/N] ", kExitOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Args args = {"--name", "ALT", "--quiet"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const CliRun r = RunCommand("transfer", args, row.terminal, row.input);
    EXPECT_EQ(r.code, row.code);
    EXPECT_NE(r.err.find(row.shown), std::string::npos) << r.err;
    EXPECT_EQ(Exists("drive_c/EPLAN5/P/ALT.P/PROJEKT.KOP"), row.code == kExitOk);
  }
  EXPECT_EQ(Read("drive_c/EPLAN5/P/ALT.P/PROJEKT.INF"), "ALT\r\nAltes Demoprojekt\r\n");
}

TEST_F(TransferCommandTest, AWriteProtectedOriginalIsAWarningAFailedCopyAnError) {
  auto protect = [&](const std::string& name) {
    fs::permissions(At("drive_c/EPLAN5/NS/" + name), fs::perms::owner_read, fs::perm_options::replace);
  };
  protect("ALT01.ASC");
  EXPECT_EQ(Shown(RunCommand("transfer", {"--name", "WARN", "--quiet"})),
            "exit 0\nProjekt C:\\EPLAN5\\P\\WARN.P, 14 Dateien kopiert, 2 Symboldateien gesichert, ARGV.DAT "
            "geschrieben\nZurücknehmen mit: velmorctl undo ID\n--\ngesichert, aber nicht entfernt "
            "(schreibgeschützt): C:\\EPLAN5\\NS\\ALT01.ASC\n");

  // SYM01.ASC has a new symbol of its name, which cannot replace the protected original.
  protect("SYM01.ASC");
  EXPECT_EQ(Shown(RunCommand("transfer", {"--name", "FEHLER", "--quiet"})),
            "exit 1\nProjekt C:\\EPLAN5\\P\\FEHLER.P, 13 Dateien kopiert, 2 Symboldateien gesichert\n"
            "Zurücknehmen mit: velmorctl undo ID\n--\n"
            "Bei der Übertragung gab es 2 Fehler:\n"
            "nicht kopiert: D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC (Zugriff verweigert)\n"
            "ARGV.DAT nicht geschrieben: das Projekt ist unvollständig, 1 Datei wurde nicht kopiert\n"
            "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\ALT01.ASC\n"
            "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\SYM01.ASC\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SYM01.ASC"), "ASC SYM01\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/SYM01.~001.ASC"), "ASC SYM01 alte Fassung\r\n");
}

TEST_F(TransferCommandTest, RefusalsAndWrongUsageChangeNothing) {
  const auto before = testing::StationListing(dir);
  EXPECT_EQ(Shown(RunCommand("transfer", {"--name", "..\\X", "--yes"})),
            "exit 1\n--\nUngültiger Projektname: ..\\X\n");
  for (const Args& args : {Args{"--yes", "--no"}, Args{"ANLAGE"}, Args{"--name"}})
    EXPECT_EQ(RunCommand("transfer", args).code, kExitUsage);
  EXPECT_EQ(testing::StationListing(dir), before);
}

TEST_F(DemoStationTest, EnvAndSymbolsPrintExactlyTheirLines) {
  EXPECT_EQ(Shown(Velmorctl({"env"})),
            "exit 0\nEplanDir: C:\\EPLAN5\nCustomerId: DEMO\nUserId: USER1\nStationNumber: 01\n"
            "ApdFile: C:\\EPLAN5\\O\\DEMO\\USER1.APD\nProjectFolder: C:\\EPLAN5\\P\\\n"
            "MacroFolder: C:\\EPLAN5\\MAKROS\\\nNormalMasterFolder: C:\\EPLAN5\\NS\\\n"
            "StockFolder: C:\\EPLAN5\\LAGER\\\nFormsFolder: C:\\EPLAN5\\FORM\\\n"
            "ArgvFile: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT\n");
  for (const std::string& folder : {std::string("D:\\EXF"), At("drive_d/EXF")})
    EXPECT_EQ(Shown(Velmorctl({"symbols", folder})), "exit 0\n1:SYM01.ASC\n2:SYM02.ASC\n3:NORM01.ASC\n");
  EXPECT_EQ(Shown(Velmorctl({"symbols", "D:\\EXF\\ASC"})),
            "exit 1\n--\nKeine Kopfdatei D:\\EXF\\ASC\\EPL_ASC.EXF gefunden\n");
  // A header without a record is read: no lines, no failure.
  fs::resize_file(At("drive_d/EXF/EPL_ASC.EXF"), 0);
  EXPECT_EQ(Shown(Velmorctl({"symbols", "D:\\EXF"})), "exit 0\n");
}

TEST_F(DemoStationTest, EnvFailuresGoToStderrWithExitOne) {
  const std::string apd = At("drive_c/EPLAN5/O/DEMO/USER1.APD");
  // Each step adds its fault to those before it.
  const std::vector<std::pair<std::function<void()>, std::string>> steps = {
      {[&] { fs::resize_file(apd, 0); }, "Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD ist leer\n"},
      {[&] { chmod(apd.c_str(), 0444); },
       "Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD kann nicht geöffnet werden\n"},
      {[&] { fs::remove(apd); }, "EPLAN ist nicht installiert\n"},
      {[&] { fs::remove(At("system.reg")); }, "EPLAN 5 ist in der Registry nicht eingetragen\n"},
  };
  for (const auto& [fault, message] : steps) {
    fault();
    EXPECT_EQ(Shown(Velmorctl({"env"})), "exit 1\n--\n" + message);
  }
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
