#include <ostream>
#include <utility>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/EplanEnvironment.h"

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

}  // namespace

int EnvCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  if (ParseOrHelp(parser, args, console, kEnvHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("env erwartet keine Argumente");

  EplanEnvironment env;
  ConsoleReporter reporter(console, Answer::No);
  if (!ReadEnvironment(env, reporter, console, /*emptyApdIsFailure=*/true)) return kExitFailed;
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
