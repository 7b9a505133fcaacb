#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

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

class SymbolsCommandTest : public ::testing::Test {
 protected:
  velmor::testing::TempPrefix prefix;
};

TEST_F(SymbolsCommandTest, PrintsExactlyTheListLines) {
  prefix.WriteFile("drive_d/EXF/EPL_ASC.EXF", "EXF\r\n950 A.ASC,B.ASC,\r\n");
  const std::string expected = "1:A.ASC\n2:B.ASC\n3:\n";
  const CtlRun windows = Velmorctl({"symbols", "D:\\EXF"});
  EXPECT_EQ(windows.code, kExitOk);
  EXPECT_EQ(windows.out, expected);
  EXPECT_EQ(windows.err, "");
  const CtlRun host = Velmorctl({"symbols", prefix.DriveD() + "/EXF"});
  EXPECT_EQ(host.code, kExitOk);
  EXPECT_EQ(host.out, expected);
}

TEST_F(SymbolsCommandTest, HeaderWithoutRecordPrintsNothing) {
  prefix.WriteFile("drive_d/EXF/EPL_ASC.EXF", "EXF\r\n100 X\r\n");
  const CtlRun r = Velmorctl({"symbols", "D:\\EXF"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(SymbolsCommandTest, MissingHeaderIsNothingToWorkOn) {
  prefix.MakeDir("drive_d/LEER");
  const CtlRun r = Velmorctl({"symbols", "D:\\LEER"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Keine Kopfdatei D:\\LEER\\EPL_ASC.EXF gefunden\n");
}

TEST(SymbolsCommandUsageTest, NeedsExactlyOneFolder) {
  EXPECT_EQ(Velmorctl({"symbols"}).code, kExitUsage);
  EXPECT_EQ(Velmorctl({"symbols", "A", "B"}).code, kExitUsage);
  const CtlRun help = Velmorctl({"symbols", "--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("EPL_ASC.EXF"), std::string::npos);
}

}  // namespace
}  // namespace velmor::cli
