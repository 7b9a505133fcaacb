#include "cli/Cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun Velmorctl(std::vector<std::string> args) {
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in};
  const int code = RunMain(args, console);
  return {code, out.str(), err.str()};
}

TEST(ArgParser, ValuesFlagsRepeatedAndPositional) {
  ArgParser p;
  p.Flag("yes");
  p.Value("name");
  p.Repeated("exclude");
  p.Parse({"--name", "ANLAGE1", "--exclude=SH1", "pos", "--yes", "--exclude", "*.DAT", "--", "--raw"});
  EXPECT_TRUE(p.Has("yes"));
  EXPECT_EQ(p.Get("name"), "ANLAGE1");
  EXPECT_EQ(p.All("exclude"), (std::vector<std::string>{"SH1", "*.DAT"}));
  EXPECT_EQ(p.Positional(), (std::vector<std::string>{"pos", "--raw"}));
  EXPECT_FALSE(p.Get("missing"));
}

TEST(ArgParser, WrongUsageIsReported) {
  const std::vector<std::vector<std::string>> bad = {
      {"--unknown"}, {"--name"}, {"--name", "a", "--name", "b"}, {"--yes=1"}, {"-x"}};
  for (const auto& args : bad) {
    ArgParser p;
    p.Flag("yes");
    p.Value("name");
    EXPECT_THROW(p.Parse(args), UsageError) << args[0];
  }
  ArgParser n;
  n.Value("min-size");
  n.Parse({"--min-size", "12x"});
  EXPECT_THROW(n.Number("min-size"), UsageError);
  ArgParser ok;
  ok.Value("min-size");
  ok.Parse({"--min-size", "4096"});
  EXPECT_EQ(ok.Number("min-size"), 4096u);
}

TEST(Velmorctl, HelpVersionAndUnknownCommand) {
  CliRun help = Velmorctl({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  for (const Command& c : Commands()) EXPECT_NE(help.out.find(c.name), std::string::npos) << c.name;
  EXPECT_EQ(Velmorctl({"--version"}).out.rfind("velmorctl ", 0), 0u);
  CliRun unknown = Velmorctl({"frobnicate"});
  EXPECT_EQ(unknown.code, kExitUsage);
  EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
  EXPECT_EQ(Velmorctl({}).code, kExitUsage);
}

TEST(WindowsPathArg, WindowsPathsStayHostPathsAreMapped) {
  testing::TempPrefix prefix;
  EXPECT_EQ(WindowsPathArg("C:\\EPLAN5\\P"), "C:\\EPLAN5\\P");
  EXPECT_EQ(WindowsPathArg("\\EPLAN5"), "\\EPLAN5");
  EXPECT_EQ(WindowsPathArg("d:/x"), "d:/x");
  prefix.MakeDir("drive_d/EXF");
  EXPECT_EQ(WindowsPathArg(prefix.DriveD() + "/EXF"), "D:\\EXF");
}

}  // namespace
}  // namespace velmor::cli
