#include "cli/Cli.h"

#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

using Args = std::vector<std::string>;

TEST(ArgParser, ValuesFlagsRepeatedAndPositional) {
  ArgParser p;
  p.Flag("yes");
  p.Value("name");
  p.Repeated("exclude");
  p.Value("size");
  p.Parse({"--name", "ANLAGE1", "--exclude=SH1", "pos", "--yes", "--exclude", "*.DAT", "--size=4096", "--",
           "--raw"});
  EXPECT_TRUE(p.Has("yes"));
  EXPECT_EQ(p.Get("name"), "ANLAGE1");
  EXPECT_EQ(p.All("exclude"), (Args{"SH1", "*.DAT"}));
  EXPECT_EQ(p.Positional(), (Args{"pos", "--raw"}));
  EXPECT_EQ(p.Number("size"), 4096u);

  for (const Args& bad : {Args{"--unknown"}, Args{"--name"}, Args{"--name", "a", "--name", "b"},
                          Args{"--yes=1"}, Args{"-x"}, Args{"--size", "12x"}}) {
    SCOPED_TRACE(bad[0]);
    ArgParser q;
    q.Flag("yes");
    q.Value("name");
    q.Value("size");
    EXPECT_THROW((q.Parse(bad), q.Number("size")), UsageError);
  }
}

TEST(Velmorctl, HelpVersionAndWrongUsage) {
  const CliRun help = Velmorctl({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  for (const Command& c : Commands()) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(help.out.find(c.name), std::string::npos);
    const CliRun own = Velmorctl({c.name, "--help"});
    EXPECT_EQ(own.code, kExitOk);
    EXPECT_NE(own.out.find("Exit-Codes"), std::string::npos);
  }
  EXPECT_EQ(Velmorctl({"--version"}).out.rfind("velmorctl ", 0), 0u);
  for (const Args& args : {Args{}, Args{"frobnicate"}, Args{"env", "zuviel"}, Args{"symbols"},
                           Args{"symbols", "A", "B"}, Args{"headers", "X"}, Args{"demo-station"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CliRun r = Velmorctl(args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

TEST(WindowsPathArg, WindowsPathsStayHostPathsAreMapped) {
  testing::TempPrefix prefix;
  prefix.MakeDir("drive_d/EXF");
  EXPECT_EQ(WindowsPathArg("C:\\EPLAN5\\P"), "C:\\EPLAN5\\P");
  EXPECT_EQ(WindowsPathArg("\\EPLAN5"), "\\EPLAN5");
  EXPECT_EQ(WindowsPathArg("d:/x"), "d:/x");
  EXPECT_EQ(WindowsPathArg(prefix.DriveD() + "/EXF"), "D:\\EXF");
  // The trailing separator decides where NormalStamm + "SIASC" lands.
  EXPECT_EQ(WindowsPathArg(prefix.DriveD() + "/EXF/"), "D:\\EXF\\");
  EXPECT_EQ(WindowsPathArg(prefix.DriveD() + "/"), "D:\\");
}

}  // namespace
}  // namespace velmor::cli
