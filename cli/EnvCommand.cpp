#include <ostream>
#include <utility>

#include "cli/Cli.h"
#include "core/EplanEnvironment.h"
#include "core/Reporter.h"

namespace velmor::cli {
namespace {

constexpr const char* kEnvHelp =
    "Aufruf: velmorctl env\n"
    "\n"
    "Liest die EPLAN-Umgebung: das EPLAN-Verzeichnis aus der Registry (EXEDIR), die Umgebungs-\n"
    "variablen KUNDEN_KENNUNG, KENNUNG und STATIONS_NUMMER und die fünf Ordner aus der Parameter-\n"
    "datei (APD) der Station. Gibt je eine Zeile \"Schlüssel: Wert\" aus, in dieser Reihenfolge:\n"
    "EplanDir, CustomerId, UserId, StationNumber, ApdFile, ProjectFolder, MacroFolder,\n"
    "NormalMasterFolder, StockFolder, FormsFolder, ArgvFile. Ein Wert darf leer sein.\n"
    "\n"
    "Exit-Codes: 0 gelesen; 1 EPLAN 5 nicht in der Registry, Parameterdatei fehlt, ist nicht\n"
    "zu öffnen oder leer (Meldung auf stderr, nichts auf stdout); 2 falscher Aufruf.\n";

// Messages of the reading go to stderr, one per line.
class StderrReporter : public IReporter {
 public:
  explicit StderrReporter(std::ostream& err) : err_(err) {}
  void ShowMessage(const std::string& text) override { err_ << text << "\n"; }
  bool Confirm(const std::string& text) override {
    err_ << text << "\n";
    return false;
  }

 private:
  std::ostream& err_;
};

}  // namespace

int EnvCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  parser.Flag("help");
  parser.Parse(args);
  if (parser.Has("help")) {
    console.out << kEnvHelp;
    return kExitOk;
  }
  if (!parser.Positional().empty()) throw UsageError("env erwartet keine Argumente");

  EplanEnvironment env;
  StderrReporter reporter(console.err);
  switch (LoadEplanEnvironment(env, reporter)) {
    case EnvironmentStatus::NotRegistered:
      console.err << "EPLAN 5 ist in der Registry nicht eingetragen\n";
      return kExitFailed;
    case EnvironmentStatus::ApdMissing:
    case EnvironmentStatus::ApdUnreadable:
      return kExitFailed;  // the reading has shown its message
    case EnvironmentStatus::EmptyApd:
      console.err << "Parameterdatei:" << env.ApdFile << " ist leer\n";
      return kExitFailed;
    case EnvironmentStatus::Loaded:
      break;
  }
  const std::pair<const char*, const std::string*> lines[] = {
      {"EplanDir", &env.EplanDir},       {"CustomerId", &env.CustomerId},
      {"UserId", &env.UserId},           {"StationNumber", &env.StationNumber},
      {"ApdFile", &env.ApdFile},         {"ProjectFolder", &env.ProjectFolder},
      {"MacroFolder", &env.MacroFolder}, {"NormalMasterFolder", &env.NormalMasterFolder},
      {"StockFolder", &env.StockFolder}, {"FormsFolder", &env.FormsFolder},
      {"ArgvFile", &env.ArgvFile},
  };
  for (const auto& [key, value] : lines) console.out << key << ": " << *value << "\n";
  return kExitOk;
}

}  // namespace velmor::cli
