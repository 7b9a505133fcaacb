// velmorctl env, symbols, headers and demo-station, run in-process on a demo station.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

using velmor::testing::ScopedEnv;

struct CtlRun {
  int code;
  std::string out;
  std::string err;
};

CtlRun Velmorctl(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in};
  const int code = RunMain(args, console);
  return {code, out.str(), err.str()};
}

const char* const kDemoEnv =
    "EplanDir: C:\\EPLAN5\n"
    "CustomerId: DEMO\n"
    "UserId: USER1\n"
    "StationNumber: 01\n"
    "ApdFile: C:\\EPLAN5\\O\\DEMO\\USER1.APD\n"
    "ProjectFolder: C:\\EPLAN5\\P\\\n"
    "MacroFolder: C:\\EPLAN5\\MAKROS\\\n"
    "NormalMasterFolder: C:\\EPLAN5\\NS\\\n"
    "StockFolder: C:\\EPLAN5\\LAGER\\\n"
    "FormsFolder: C:\\EPLAN5\\FORM\\\n"
    "ArgvFile: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT\n";

// A demo station created through velmorctl and selected like its last output line says.
class DemoStationCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const CtlRun created = Velmorctl({"demo-station", dir});
    ASSERT_EQ(created.code, kExitOk) << created.err;
    const std::string out = created.out.substr(0, created.out.size() - 1);
    EXPECT_EQ(out.substr(out.rfind('\n') + 1),
              "WINEPREFIX=" + dir + " KUNDEN_KENNUNG=DEMO KENNUNG=USER1 STATIONS_NUMMER=01");
  }
  std::string At(const std::string& relative) const { return dir + "/" + relative; }

  velmor::testing::TempPrefix prefix;
  const std::string dir = prefix.Root() + "/station";
  ScopedEnv wineprefix{"WINEPREFIX", dir};
  ScopedEnv customer{"KUNDEN_KENNUNG", "DEMO"};
  ScopedEnv user{"KENNUNG", "USER1"};
  ScopedEnv station{"STATIONS_NUMMER", "01"};
};

TEST_F(DemoStationCommandTest, EnvAndSymbolsReadTheStation) {
  const CtlRun env = Velmorctl({"env"});
  EXPECT_EQ(env.code, kExitOk) << env.err;
  EXPECT_EQ(env.out, kDemoEnv);

  const std::string symbols = "1:SYM01.ASC\n2:SYM02.ASC\n3:NORM01.ASC\n";
  for (const std::string& folder : {std::string("D:\\EXF"), At("drive_d/EXF")}) {
    SCOPED_TRACE(folder);
    const CtlRun r = Velmorctl({"symbols", folder});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, symbols);
  }
  for (const char* file : {"drive_d/EXF/ASC/SYM01.ASC", "drive_d/EXF/ASC/NORM/NORM01.ASC",
                           "drive_c/EPLAN5/O/DEMO/01/ARGV.DAT", "drive_c/windows/Velmor.INI"})
    EXPECT_TRUE(std::filesystem::is_regular_file(At(file))) << file;
}

TEST_F(DemoStationCommandTest, EnvFailuresGoToStderrWithExitOne) {
  const std::string apd = At("drive_c/EPLAN5/O/DEMO/USER1.APD");
  // Each step adds its fault to those before it.
  std::filesystem::resize_file(apd, 0);
  CtlRun r = Velmorctl({"env"});
  EXPECT_EQ(r.err, "Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD ist leer\n");
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "");

  ASSERT_EQ(chmod(apd.c_str(), 0444), 0);
  r = Velmorctl({"env"});
  EXPECT_EQ(r.err, "Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD kann nicht geöffnet werden\n");
  EXPECT_EQ(r.code, kExitFailed);

  std::filesystem::remove(apd);
  r = Velmorctl({"env"});
  EXPECT_EQ(r.err, "EPLAN ist nicht installiert\n");
  EXPECT_EQ(r.code, kExitFailed);

  std::filesystem::remove(At("system.reg"));
  r = Velmorctl({"env"});
  EXPECT_EQ(r.err, "EPLAN 5 ist in der Registry nicht eingetragen\n");
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "");
}

TEST_F(DemoStationCommandTest, SymbolsWithoutHeaderOrRecord) {
  CtlRun r = Velmorctl({"symbols", "D:\\EXF\\ASC"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Keine Kopfdatei D:\\EXF\\ASC\\EPL_ASC.EXF gefunden\n");

  std::filesystem::resize_file(At("drive_d/EXF/EPL_ASC.EXF"), 0);
  r = Velmorctl({"symbols", "D:\\EXF"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out + r.err, "");
}

TEST_F(DemoStationCommandTest, HeadersSplitsOrSaysWhyNot) {
  CtlRun r = Velmorctl({"headers"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Die Datei D:\\SEITEN.SPL kann nicht geöffnet werden\n");
  EXPECT_FALSE(std::filesystem::exists(At("drive_d/SH1")));

  prefix.WriteFile(At("drive_d/SEITEN.SPL"), std::string(256, 'S'));
  r = Velmorctl({"headers"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(prefix.ReadFile(At("drive_d/SH3")), std::string(178, 'S'));
}

TEST_F(DemoStationCommandTest, RefusesAFolderThatIsNotEmpty) {
  const CtlRun r = Velmorctl({"demo-station", dir});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("nicht leer"), std::string::npos) << r.err;
  // An existing empty folder is fine.
  prefix.MakeDir("leer");
  EXPECT_EQ(Velmorctl({"demo-station", prefix.Abs("leer")}).code, kExitOk);
  EXPECT_EQ(std::filesystem::read_symlink(prefix.Abs("leer/dosdevices/z:")), "/");
}

TEST(CommandUsageTest, WrongUsageAndHelp) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"env", "zuviel"}, {"symbols"}, {"symbols", "A", "B"}, {"headers", "X"}, {"demo-station"}}) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(Velmorctl(args).code, kExitUsage);
  }
  for (const char* command : {"env", "symbols", "headers", "demo-station"}) {
    const CtlRun help = Velmorctl({command, "--help"});
    EXPECT_EQ(help.code, kExitOk);
    EXPECT_NE(help.out.find("Exit-Codes"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace velmor::cli
