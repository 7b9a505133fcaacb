#include "cli/CliSupport.h"

#include <istream>
#include <ostream>

#include "platform/Platform.h"

namespace velmor::cli {

bool ParseOrHelp(ArgParser& parser, const std::vector<std::string>& args, Console& console,
                 const char* help) {
  parser.Flag("help");
  parser.Parse(args);
  if (!parser.Has("help")) return false;
  console.out << help;
  return true;
}

void ConsoleReporter::ShowMessage(const std::string& text) {
  EndProgressLine();
  console_.err << text << "\n";
}

bool ConsoleReporter::Confirm(const std::string& text) {
  EndProgressLine();
  switch (answer_) {
    case Answer::Yes:
      console_.err << text << " OK\n";
      return true;
    case Answer::No:
      console_.err << text << " Abbrechen\n";
      return false;
    case Answer::Ask:
      break;
  }
  if (!console_.stdinIsTerminal) {
    console_.err << text
                 << "\nKeine Antwort möglich: die Eingabe ist kein Terminal (--yes oder --no angeben).\n";
    return false;
  }
  console_.err << text << " [j/N] " << std::flush;
  std::string line;
  if (!std::getline(console_.in, line)) return false;
  const std::string word = platform::FoldUpper(line);
  return word == "J" || word == "JA" || word == "Y" || word == "YES" || word == "OK";
}

void ConsoleReporter::Progress(size_t done, size_t total, const std::string& current) {
  console_.err << "\r\x1b[K[" << done << "/" << total << "] " << current << std::flush;
  progressShown_ = true;
}

void ConsoleReporter::EndProgressLine() {
  if (progressShown_) console_.err << "\r\x1b[K" << std::flush;
  progressShown_ = false;
}

bool ReadEnvironment(EplanEnvironment& env, IReporter& reporter, Console& console, bool emptyApdIsFailure) {
  platform::IPlatform& os = platform::Os();
  switch (LoadEplanEnvironment(os, os, os, env, reporter)) {
    case EnvironmentStatus::NotRegistered:
      console.err << "EPLAN 5 ist in der Registry nicht eingetragen\n";
      return false;
    case EnvironmentStatus::ApdMissing:
    case EnvironmentStatus::ApdUnreadable:
      return false;  // the reading has shown its message
    case EnvironmentStatus::EmptyApd:
      if (!emptyApdIsFailure) return true;
      console.err << "Parameterdatei:" << env.ApdFile << " ist leer\n";
      return false;
    case EnvironmentStatus::Loaded:
      return true;
  }
  return false;
}

}  // namespace velmor::cli
