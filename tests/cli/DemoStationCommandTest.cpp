#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/Platform.h"
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

std::string LastLine(const std::string& text) {
  std::string t = text;
  if (!t.empty() && t.back() == '\n') t.pop_back();
  const size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

class DemoStationCommandTest : public ::testing::Test {
 protected:
  velmor::testing::TempPrefix prefix;
};

TEST_F(DemoStationCommandTest, StationServesEnvAndSymbols) {
  const std::string dir = prefix.Root() + "/station";
  const CtlRun created = Velmorctl({"demo-station", dir});
  ASSERT_EQ(created.code, kExitOk) << created.err;
  EXPECT_EQ(LastLine(created.out),
            "WINEPREFIX=" + dir + " KUNDEN_KENNUNG=DEMO KENNUNG=USER1 STATIONS_NUMMER=01");

  ScopedEnv wineprefix("WINEPREFIX", dir);
  ScopedEnv customer("KUNDEN_KENNUNG", "DEMO");
  ScopedEnv user("KENNUNG", "USER1");
  ScopedEnv station("STATIONS_NUMMER", "01");
  const CtlRun env = Velmorctl({"env"});
  EXPECT_EQ(env.code, kExitOk) << env.err;
  EXPECT_EQ(env.out,
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
            "ArgvFile: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT\n");

  const CtlRun symbols = Velmorctl({"symbols", "D:\\EXF"});
  EXPECT_EQ(symbols.code, kExitOk) << symbols.err;
  EXPECT_EQ(symbols.out, "1:SYM01.ASC\n2:SYM02.ASC\n3:NORM01.ASC\n");

  // Every symbol file the header names is part of the data set.
  for (const char* file :
       {"D:\\EXF\\ASC\\SYM01.ASC", "D:\\EXF\\ASC\\SYM02.ASC", "D:\\EXF\\ASC\\NORM\\NORM01.ASC",
        "C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT", "C:\\windows\\Velmor.INI"})
    EXPECT_TRUE(platform::Os().FileExists(file)) << file;
  EXPECT_EQ(platform::Os().GetPrivateProfileString("VelmorMainFrm", "ExfVErz_Text", "", "Velmor.INI"),
            "D:\\EXF");
}

TEST_F(DemoStationCommandTest, RefusesAFolderThatIsNotEmpty) {
  prefix.WriteFile("besetzt/datei.txt", "bleibt");
  const CtlRun r = Velmorctl({"demo-station", prefix.Abs("besetzt")});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("nicht leer"), std::string::npos) << r.err;
  EXPECT_EQ(prefix.ReadFile("besetzt/datei.txt"), "bleibt");
  EXPECT_FALSE(prefix.Exists("besetzt/system.reg"));
}

TEST_F(DemoStationCommandTest, AcceptsAnExistingEmptyFolder) {
  prefix.MakeDir("leer");
  EXPECT_EQ(Velmorctl({"demo-station", prefix.Abs("leer")}).code, kExitOk);
  EXPECT_TRUE(prefix.Exists("leer/drive_c/EPLAN5/O/DEMO/USER1.APD"));
  EXPECT_EQ(std::filesystem::read_symlink(prefix.Abs("leer/dosdevices/z:")), "/");
}

TEST(DemoStationCommandUsageTest, NeedsOneFolder) {
  EXPECT_EQ(Velmorctl({"demo-station"}).code, kExitUsage);
  EXPECT_EQ(Velmorctl({"demo-station", "a", "b"}).code, kExitUsage);
}

}  // namespace
}  // namespace velmor::cli
