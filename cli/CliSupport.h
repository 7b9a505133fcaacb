// Pieces that several velmorctl commands share: the option parsing with --help, the reporter that
// talks through stderr and the terminal, and the EPLAN environment reading with its failure lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/EplanEnvironment.h"
#include "core/Reporter.h"

namespace velmor::cli {

// Adds the --help flag and parses args. Returns true when --help was given: help is then printed on
// stdout and the command ends with kExitOk. Wrong usage raises UsageError.
bool ParseOrHelp(ArgParser& parser, const std::vector<std::string>& args, Console& console, const char* help);

// How a confirmation is answered: by --yes, by --no, or by asking on the terminal (refused when stdin
// is not a terminal, so that a script never hangs).
enum class Answer { Ask, Yes, No };

// Messages go to stderr, one per line; confirmations are answered as configured. A progress line stays
// on one terminal line and is cleared before anything else is written.
class ConsoleReporter final : public IReporter {
 public:
  ConsoleReporter(Console& console, Answer answer) : console_(console), answer_(answer) {}

  void ShowMessage(const std::string& text) override;
  bool Confirm(const std::string& text) override;

  void Progress(size_t done, size_t total, const std::string& current);
  void EndProgressLine();

 private:
  Console& console_;
  Answer answer_;
  bool progressShown_ = false;
};

// Runs the EPLAN environment reading. False when the command cannot go on: EPLAN 5 not registered
// (said here), the parameter file missing or unreadable (said by the reading), or, when
// emptyApdIsFailure, an empty parameter file (said here). Nothing goes to stdout.
bool ReadEnvironment(EplanEnvironment& env, IReporter& reporter, Console& console, bool emptyApdIsFailure);

}  // namespace velmor::cli
