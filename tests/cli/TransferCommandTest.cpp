#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

// Every file and folder below root with its content.
std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::ostringstream s;
    if (!e.is_symlink() && e.is_regular_file()) s << std::ifstream(e.path(), std::ios::binary).rdbuf();
    tree[fs::relative(e.path(), root).string()] = s.str();
  }
  return tree;
}

using TransferCommandTest = DemoStationTest;
using Args = std::vector<std::string>;

CliRun Transfer(Args args, bool stdinIsTerminal = false, const std::string& input = "") {
  args.insert(args.begin(), "transfer");
  return Velmorctl(args, stdinIsTerminal, input);
}

TEST_F(TransferCommandTest, TransfersFromTheStoredSettingsOrTheOptions) {
  CliRun r = Transfer({"--yes", "--quiet"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  // Five sample files, the header, two pages and a bitmap, two frames, three symbols.
  EXPECT_TRUE(std::regex_match(
      r.out + r.err, std::regex("Projekt C:\\\\EPLAN5\\\\P\\\\DEMO1\\.P, 14 Dateien kopiert, 3 Symboldateien "
                                "gesichert, ARGV\\.DAT geschrieben\n"
                                "Zurücknehmen mit: velmorctl undo [0-9]{8}-[0-9]{6}-[0-9]+\n")))
      << r.out + r.err;
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "DEMO1\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/P/DEMO1.P/RAHMEN2.EXP"), "Rahmen A4\r\n");

  // The EXF folder given has no header: only the samples reach the project, the symbols come from it
  // too. A host path for the normal master data keeps its trailing separator.
  r = Transfer({"--name", "NEU", "--project-path", At("drive_d"), "--exf", "D:\\EXF\\ASC", "--normal-master",
                At("drive_c/EPLAN5/NS/"), "--quiet"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "NEU\r\n");
  EXPECT_TRUE(Exists("drive_d/NEU.P/PROJEKT.KOP"));
  EXPECT_FALSE(Exists("drive_d/NEU.P/S001.EXF"));
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/NORM01.ASC"), "ASC NORM01\r\n");
  EXPECT_FALSE(Exists("drive_c/EPLAN5/NSSIASC"));
}

TEST_F(TransferCommandTest, DryRunPrintsThePlanAndChangesNothing) {
  const auto before = Listing(dir);
  const CliRun r = Transfer({"--dry-run", "--name", "PLAN"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Listing(dir), before);
  EXPECT_EQ(r.out.rfind("Ordner anlegen: C:\\EPLAN5\\P\\PLAN.P\n"
                        "Ordner anlegen: C:\\EPLAN5\\NS\\SIASC\n"
                        "sichern: C:\\EPLAN5\\NS\\ALT01.ASC -> C:\\EPLAN5\\NS\\SIASC\\ALT01.ASC\n",
                        0),
            0u)
      << r.out;
  for (const char* line :
       {"löschen: C:\\EPLAN5\\NS\\ALT01.ASC\n",
        "kopieren: D:\\EXF\\EXP\\RAHMEN1.EXP -> C:\\EPLAN5\\P\\PLAN.P\\RAHMEN1.EXP\n",
        "schreiben: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT = \"PLAN\"\nProbelauf, nichts geändert: "})
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
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
    const CliRun r = Transfer(args, row.terminal, row.input);
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
  CliRun r = Transfer({"--name", "WARN", "--quiet"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.err, "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\ALT01.ASC\n");

  // SYM01.ASC has a new symbol of its name, which cannot replace the protected original.
  protect("SYM01.ASC");
  r = Transfer({"--name", "FEHLER", "--quiet"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err,
            "Bei der Übertragung gab es 1 Fehler:\n"
            "nicht kopiert: D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC\n"
            "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\ALT01.ASC\n"
            "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\SYM01.ASC\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SYM01.ASC"), "ASC SYM01\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/NS/SIASC/SYM01.~001.ASC"), "ASC SYM01 alte Fassung\r\n");
  EXPECT_EQ(Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "FEHLER\r\n");
}

TEST_F(TransferCommandTest, RefusalsAndWrongUsageChangeNothing) {
  const auto before = Listing(dir);
  const CliRun r = Transfer({"--name", "..\\X", "--yes"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Ungültiger Projektname: ..\\X\n");
  for (const Args& args : {Args{"--yes", "--no"}, Args{"ANLAGE"}, Args{"--name"}})
    EXPECT_EQ(Transfer(args).code, kExitUsage);
  EXPECT_EQ(Listing(dir), before);
}

}  // namespace
}  // namespace velmor::cli
