// velmorctl demo-station, and env, symbols and headers run on the station it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

TEST_F(DemoStationTest, EnvAndSymbolsPrintExactlyTheirLines) {
  const CliRun env = Velmorctl({"env"});
  EXPECT_EQ(env.code, kExitOk) << env.err;
  EXPECT_EQ(env.out,
            "EplanDir: C:\\EPLAN5\nCustomerId: DEMO\nUserId: USER1\nStationNumber: 01\n"
            "ApdFile: C:\\EPLAN5\\O\\DEMO\\USER1.APD\nProjectFolder: C:\\EPLAN5\\P\\\n"
            "MacroFolder: C:\\EPLAN5\\MAKROS\\\nNormalMasterFolder: C:\\EPLAN5\\NS\\\n"
            "StockFolder: C:\\EPLAN5\\LAGER\\\nFormsFolder: C:\\EPLAN5\\FORM\\\n"
            "ArgvFile: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT\n");
  for (const std::string& folder : {std::string("D:\\EXF"), At("drive_d/EXF")}) {
    const CliRun r = Velmorctl({"symbols", folder});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "1:SYM01.ASC\n2:SYM02.ASC\n3:NORM01.ASC\n") << folder;
  }
  CliRun r = Velmorctl({"symbols", "D:\\EXF\\ASC"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out + r.err, "Keine Kopfdatei D:\\EXF\\ASC\\EPL_ASC.EXF gefunden\n");
  // A header without a record is read: no lines, no failure.
  fs::resize_file(At("drive_d/EXF/EPL_ASC.EXF"), 0);
  r = Velmorctl({"symbols", "D:\\EXF"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out + r.err, "");
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
    const CliRun r = Velmorctl({"env"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, message);
  }
}

TEST_F(DemoStationTest, HeadersSplitsOrSaysWhyNot) {
  CliRun r = Velmorctl({"headers"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Die Datei D:\\SEITEN.SPL kann nicht geöffnet werden\n");
  EXPECT_FALSE(Exists("drive_d/SH1"));
  prefix.WriteFile(At("drive_d/SEITEN.SPL"), std::string(256, 'S'));
  r = Velmorctl({"headers"});
  EXPECT_EQ(r.code, kExitOk);
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
