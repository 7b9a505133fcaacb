// Shared plumbing of velmorctl: the command table, argument parsing and path arguments.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmor::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // failed, refused, or nothing to work on
inline constexpr int kExitUsage = 2;

// Wrong usage: main prints the text and the hint to --help, and exits with kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a command sees of the process: its streams and whether stdin is a terminal.
struct Console {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool stdinIsTerminal = false;
  bool stderrIsTerminal = false;
};

using CommandFunction = int (*)(const std::vector<std::string>& args, Console& console);

struct Command {
  const char* name;
  const char* summary;  // one line for the overview of --help
  CommandFunction run;
};

// All sub-commands in the order --help lists them.
const std::vector<Command>& Commands();

// Runs velmorctl with the arguments after the program name; returns the exit code.
int RunMain(const std::vector<std::string>& args, Console& console);

// A small GNU-style option parser: "--name VALUE", "--name=VALUE", flags, repeatable options and
// positional arguments. Unknown options and missing values raise UsageError.
class ArgParser {
 public:
  void Flag(const std::string& name);
  void Value(const std::string& name);     // may be given once
  void Repeated(const std::string& name);  // may be given any number of times
  void Parse(const std::vector<std::string>& args);

  bool Has(const std::string& name) const;
  std::optional<std::string> Get(const std::string& name) const;
  std::vector<std::string> All(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }
  // A non-negative integer option; UsageError when it is not one.
  std::optional<unsigned long long> Number(const std::string& name) const;

 private:
  enum class Kind { Flag, Value, Repeated };
  std::map<std::string, Kind> kinds_;
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positional_;
};

// A path argument as a Windows path: "C:\x" and "\x" are taken as they are; a host path ("/home/u",
// "./x", "../x", "~/x" or any text with "/" but no "\" and no drive) is made absolute and mapped
// through the drive map. A host path ending in "/" gives a Windows path ending in "\".
std::string WindowsPathArg(const std::string& arg);

}  // namespace velmor::cli
