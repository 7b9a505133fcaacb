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

TEST(HeadersCommandTest, SplitsOrSaysWhyNot) {
  velmor::testing::TempPrefix prefix;

  const CtlRun missing = Velmorctl({"headers"});
  EXPECT_EQ(missing.code, kExitFailed);
  EXPECT_EQ(missing.err, "Die Datei D:\\SEITEN.SPL kann nicht geöffnet werden\n");
  EXPECT_FALSE(prefix.Exists("drive_d/SH1"));

  prefix.WriteFile("drive_d/SEITEN.SPL", std::string(256, 'S'));
  const CtlRun done = Velmorctl({"headers"});
  EXPECT_EQ(done.code, kExitOk);
  EXPECT_EQ(done.out, "");
  EXPECT_EQ(prefix.ReadFile("drive_d/SH3"), std::string(178, 'S'));
}

TEST(HeadersCommandTest, TakesNoArguments) {
  EXPECT_EQ(Velmorctl({"headers", "D:\\X"}).code, kExitUsage);
}

}  // namespace
}  // namespace velmor::cli
