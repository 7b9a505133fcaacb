// velmorctl's argument handling, its help and manual page, and the commands that need no EPLAN
// station: size, find, copy.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "cli/Cli.h"
#include "platform/Platform.h"
#include "tests/Texts.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor::cli {
namespace {

using Args = std::vector<std::string>;
using Options = std::set<std::string>;
// Options per command; the key "" holds the general options.
using OptionTable = std::map<std::string, Options>;

TEST(ArgParser, ValuesFlagsRepeatedAndPositional) {
  auto parser = [] {
    ArgParser p;
    p.Flag("yes");
    p.Value("name");
    p.Repeated("exclude");
    p.Value("size");
    return p;
  };
  ArgParser p = parser();
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
    ArgParser q = parser();
    EXPECT_THROW((q.Parse(bad), q.Number("size")), UsageError);
  }
}

// The options a help text defines: its indented lines that begin with "--name".
Options HelpOptions(const std::string& help) {
  static const std::regex option(R"(^\s+(--[a-z][a-z-]*))");
  Options options;
  std::smatch m;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, option)) options.insert(m[1]);
  return options;
}

// The options of the manual page per command: the section "# OPTIONEN" holds the general options
// (under ""), each sub-section "## velmorctl NAME ..." one command; an option is defined by a line that
// begins with "*--name*".
OptionTable PageOptions() {
  static const std::regex commandHeading(R"(^## velmorctl ([a-z][a-z-]*))");
  static const std::regex option(R"(^\*(--[a-z][a-z-]*)\*)");
  OptionTable table;
  Options* section = nullptr;
  std::smatch m;
  std::ifstream page(VELMOR_MANUAL_PAGE);
  EXPECT_TRUE(page) << VELMOR_MANUAL_PAGE;
  for (std::string line; std::getline(page, line);) {
    if (line == "# OPTIONEN") {
      section = &table[""];
    } else if (std::regex_search(line, m, commandHeading)) {
      section = &table[m[1]];
    } else if (line.starts_with("# ")) {
      section = nullptr;
    } else if (section && std::regex_search(line, m, option)) {
      section->insert(m[1]);
    }
  }
  return table;
}

// Every command has its help, and the manual page documents exactly the commands and options that the
// helps offer: a command or an option added without its entry in the page, or an entry left in the page
// after its option went away, fails here.
TEST(Velmorctl, TheManualPageDocumentsEveryCommandAndOptionOfTheHelp) {
  testing::TempPrefix prefix;
  const CliRun overview = Velmorctl({"--help"});
  EXPECT_EQ(overview.code, kExitOk);
  OptionTable offered{{"", HelpOptions(overview.out)}};
  for (const Command& c : Commands()) {
    SCOPED_TRACE(c.name);
    const CliRun own = Velmorctl({c.name, "--help"});
    EXPECT_EQ(own.code, kExitOk);
    EXPECT_NE(own.out.find("Exit-Codes"), std::string::npos);
    offered[c.name] = HelpOptions(own.out);
  }
  // The parser must see what is plainly there, or the comparison below proves nothing.
  ASSERT_EQ(offered[""], (Options{"--help", "--version"}));
  ASSERT_TRUE(offered.at("transfer").contains("--dry-run"));
  EXPECT_EQ(PageOptions(), offered);
}

TEST(Velmorctl, VersionAndWrongUsage) {
  testing::TempPrefix prefix;
  EXPECT_EQ(Velmorctl({"--version"}).out.rfind("velmorctl ", 0), 0u);
  EXPECT_EQ(Shown(Velmorctl({})).substr(0, 10), "exit 2\n--\n");  // the overview of --help on stderr
  EXPECT_EQ(Replayed("velmorctl, wrong usage"), testing::Text("velmorctl, wrong usage"));
}

TEST(WindowsPathArg, WindowsPathsStayHostPathsAreMapped) {
  testing::TempPrefix prefix;
  prefix.MakeDir("drive_d/EXF");
  for (const auto& row : testing::CaseRows("cli/path-args.tsv", 2))
    EXPECT_EQ(WindowsPathArg(testing::Replaced(row[0], "{D}", prefix.DriveD())), row[1]) << row[0];
}

TEST(SizeCommand, PrintsBytesPerFolderAndFailsForAMissingOne) {
  testing::TempPrefix prefix;
  prefix.WriteFile("drive_d/P/A.EXF", std::string(1000, 'a'));
  prefix.WriteFile("drive_d/P/S/B.BMP", std::string(24, 'b'));
  prefix.WriteFile("drive_d/Q/C.ASC", "");
  EXPECT_EQ(Shown(Velmorctl({"size", "D:\\P", prefix.Abs("drive_d/Q")})), "exit 0\n1024\tD:\\P\n0\tD:\\Q\n");
  // The folders that exist are measured all the same.
  EXPECT_EQ(Replayed("velmorctl size, details and a missing folder"),
            testing::Text("velmorctl size, details and a missing folder"));
}

TEST(FindCommand, OptionsReachTheCriteriaAndMatchesComeInReportOrder) {
  testing::TempPrefix prefix;
  for (const char* f : {"EXF/A.EXF", "EXF/B.BMP", "EXF/SIASC.ASC", "EXF/S/C.ASC", "EXF/S/T/D.EXF"})
    prefix.WriteFile(std::string("drive_d/") + f, "klemmenleiste");
  prefix.WriteFile("drive_d/EXF/BIG.EXF", std::string(500, 'x'));
  EXPECT_EQ(Replayed("velmorctl find, its options"), testing::Text("velmorctl find, its options"));
  EXPECT_EQ(Shown(Velmorctl({"find", "--location", "<" + prefix.DriveD() + "/EXF", "--mask", "*.BMP"})),
            "exit 0\nD:\\EXF\\B.BMP\n");
}

TEST(CopyCommand, CopiesListsAndSaysWhatDidNotArrive) {
  testing::TempPrefix prefix;
  prefix.WriteFile("drive_d/NS/A.ASC", "a");
  prefix.WriteFile("drive_d/NS/SIASC.ASC", "s");
  prefix.WriteFile("drive_d/NS/SUB/B.ASC", "b");
  prefix.WriteFile("drive_d/NS/C.TXT", "c");
  // A copy killed earlier left a temporary in the target: the next copy into that folder takes it away.
  prefix.WriteFile("drive_c/OUT/.velmor-" + std::to_string(testing::EndedProcess()) + "-1.tmp", "half");
  auto copy = [&](const std::string& source, const std::string& masks, Args more = {}) {
    Args args = {"copy", "--source", source, "--target", "C:\\OUT", "--masks", masks};
    args.insert(args.end(), more.begin(), more.end());
    return Shown(Velmorctl(args));
  };
  EXPECT_EQ(copy("D:\\NS", "*.ASC", {"--exclude", "SIASC"}), "exit 0\nD:\\NS\\A.ASC\nD:\\NS\\SUB\\B.ASC\n");
  EXPECT_EQ(copy(prefix.DriveD() + "/NS", "*.TXT", {"--attributes", "1"}), "exit 0\nD:\\NS\\C.TXT\n");
  // The read-only copy refuses the next overwrite: the old file stays, it is not listed as copied,
  // and the errors and the exit code say so.
  prefix.WriteFile("drive_d/NS/C.TXT", "new");
  EXPECT_EQ(copy("D:\\NS", "*.TXT", {"--attributes", "1"}), "exit 1\n--\nNicht kopiert: D:\\NS\\C.TXT\n");
  EXPECT_EQ(testing::FilesIn(prefix, "drive_c/OUT"), "A.ASC=a\nB.ASC=b\nC.TXT=c\n");
  EXPECT_EQ(Replayed("velmorctl copy, nothing to copy and wrong usage"),
            testing::Text("velmorctl copy, nothing to copy and wrong usage"));
}

}  // namespace
}  // namespace velmor::cli
