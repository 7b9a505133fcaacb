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
using velmor::testing::TempPrefix;

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

std::string SlotBytes() {
  std::string bytes(600, '\x55');
  const char* folders[] = {"C:\\E\\P\\", "C:\\E\\M\\", "C:\\E\\NS\\", "C:\\E\\L\\", "C:\\E\\F\\"};
  const size_t offsets[] = {132, 220, 264, 308, 396};
  for (int i = 0; i < 5; ++i) {
    const std::string f = folders[i];
    bytes.replace(offsets[i], f.size(), f);
    bytes[offsets[i] + f.size()] = '\xBA';
  }
  return bytes;
}

class EnvCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.MakeDir("drive_c/E/BIN");
    prefix.WriteRegistry(
        "[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1700000000\n\"EXEDIR\"=\"C:\\\\E\\\\BIN\"\n");
    prefix.WriteFile("drive_c/E/O/K/U.APD", SlotBytes());
  }
  TempPrefix prefix;
  ScopedEnv customer{"KUNDEN_KENNUNG", "K"};
  ScopedEnv user{"KENNUNG", "U"};
  ScopedEnv station{"STATIONS_NUMMER", std::nullopt};
};

TEST_F(EnvCommandTest, PrintsEveryKeyInOrder) {
  const CtlRun r = Velmorctl({"env"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "EplanDir: C:\\E\n"
            "CustomerId: K\n"
            "UserId: U\n"
            "StationNumber: \n"
            "ApdFile: C:\\E\\O\\K\\U.APD\n"
            "ProjectFolder: C:\\E\\P\\\n"
            "MacroFolder: C:\\E\\M\\\n"
            "NormalMasterFolder: C:\\E\\NS\\\n"
            "StockFolder: C:\\E\\L\\\n"
            "FormsFolder: C:\\E\\F\\\n"
            "ArgvFile: C:\\E\\O\\K\\\\ARGV.DAT\n");
}

TEST_F(EnvCommandTest, FailuresGoToStderrWithExitOne) {
  struct Row {
    const char* name;
    void (*arrange)(const TempPrefix&);
    std::string err;
  };
  // Each row adds its fault to those of the rows before it.
  const std::vector<Row> rows = {
      {"empty parameter file", [](const TempPrefix& p) { p.WriteFile("drive_c/E/O/K/U.APD", ""); },
       "Parameterdatei:C:\\E\\O\\K\\U.APD ist leer\n"},
      {"read-only parameter file",
       [](const TempPrefix& p) {
         p.WriteFile("drive_c/E/O/K/U.APD", SlotBytes());
         chmod(p.Abs("drive_c/E/O/K/U.APD").c_str(), 0444);
       },
       "Parameterdatei:C:\\E\\O\\K\\U.APD kann nicht geöffnet werden\n"},
      {"parameter file missing",
       [](const TempPrefix& p) { std::filesystem::remove(p.Abs("drive_c/E/O/K/U.APD")); },
       "EPLAN ist nicht installiert\n"},
      {"not registered", [](const TempPrefix& p) { p.WriteRegistry(""); },
       "EPLAN 5 ist in der Registry nicht eingetragen\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.arrange(prefix);
    const CtlRun r = Velmorctl({"env"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, row.err);
  }
}

TEST(EnvCommandUsageTest, HelpAndWrongUsage) {
  const CtlRun help = Velmorctl({"env", "--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("NormalMasterFolder"), std::string::npos);
  EXPECT_EQ(Velmorctl({"env", "zuviel"}).code, kExitUsage);
  EXPECT_EQ(Velmorctl({"env", "--gibtsnicht"}).code, kExitUsage);
}

}  // namespace
}  // namespace velmor::cli
