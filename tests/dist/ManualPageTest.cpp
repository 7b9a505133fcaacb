// The manual page of velmorctl documents exactly the commands and options that the program's --help
// lists. The commands are taken from the overview of --help, so a command added to the program without
// an entry in the page, an option added to a command, or an entry left in the page after its option
// went away, fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace velmor::cli {
namespace {

using Options = std::set<std::string>;
// Options per command; the key "" holds the general options.
using OptionTable = std::map<std::string, Options>;

std::string Help(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in, false, false};
  EXPECT_EQ(RunMain(args, console), 0) << err.str();
  return out.str();
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

// The commands of the overview: the indented lines under "Befehle:" up to the next blank line.
std::vector<std::string> HelpCommands(const std::string& overview) {
  static const std::regex command(R"(^  ([a-z][a-z-]*)\s)");
  std::vector<std::string> commands;
  bool inside = false;
  std::smatch m;
  std::istringstream lines(overview);
  for (std::string line; std::getline(lines, line);) {
    if (inside && std::regex_search(line, m, command)) commands.push_back(m[1]);
    inside = line == "Befehle:" || (inside && !line.empty());
  }
  return commands;
}

// The page: the section "# OPTIONEN" holds the general options; each sub-section
// "## velmorctl NAME ..." one command. An option is defined by a line that begins with "*--name*".
OptionTable PageOptions(const std::string& page) {
  static const std::regex commandHeading(R"(^## velmorctl ([a-z][a-z-]*))");
  static const std::regex option(R"(^\*(--[a-z][a-z-]*)\*)");
  OptionTable table;
  Options* section = nullptr;
  std::smatch m;
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    if (line == "# OPTIONEN") {
      section = &table[""];
    } else if (std::regex_search(line, m, commandHeading)) {
      section = &table[m[1]];
    } else if (line.rfind("# ", 0) == 0) {
      section = nullptr;
    } else if (section && std::regex_search(line, m, option)) {
      section->insert(m[1]);
    }
  }
  return table;
}

TEST(ManualPage, DocumentsEveryCommandAndOptionOfTheHelp) {
  std::ifstream file(VELMOR_MANUAL_PAGE);
  ASSERT_TRUE(file) << VELMOR_MANUAL_PAGE;
  const OptionTable documented = PageOptions({std::istreambuf_iterator<char>(file), {}});

  const std::string overview = Help({"--help"});
  OptionTable offered{{"", HelpOptions(overview)}};
  for (const std::string& command : HelpCommands(overview))
    offered[command] = HelpOptions(Help({command, "--help"}));
  // The parsers must see what is plainly there, or the comparison below proves nothing.
  ASSERT_GE(offered.size(), 8u) << overview;
  ASSERT_EQ(offered[""], (Options{"--help", "--version"}));
  ASSERT_TRUE(offered.at("transfer").count("--dry-run"));

  // Per command (the general options under ""): what the page documents against what --help offers.
  EXPECT_EQ(documented, offered);
}

}  // namespace
}  // namespace velmor::cli
