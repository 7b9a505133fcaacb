#include <ostream>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/DemoStation.h"
#include "platform/Platform.h"

namespace velmor::cli {
namespace {

constexpr const char* kDemoStationHelp =
    "Aufruf: velmorctl demo-station VERZEICHNIS\n"
    "\n"
    "Legt in VERZEICHNIS (ein Pfad des Rechners; wird angelegt, muss sonst leer sein) eine\n"
    "vollständige Demo-EPLAN-5-Station an, ohne Wine: Laufwerke C:, D: und Z:, system.reg mit\n"
    "EXEDIR C:\\EPLAN5\\BIN, die EPLAN-Ordner mit Parameterdatei O\\DEMO\\USER1.APD und ARGV.DAT,\n"
    "ein vorhandenes Projekt ALT.P, Velmor.INI und einen EXF-Datensatz in D:\\EXF.\n"
    "Die letzte Zeile der Ausgabe ist die Umgebung, mit der die Station benutzt wird.\n"
    "\n"
    "Exit-Codes: 0 angelegt; 1 VERZEICHNIS nicht leer oder nicht anzulegen (Meldung auf stderr);\n"
    "2 falscher Aufruf.\n";

}  // namespace

int DemoStationCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  if (ParseOrHelp(parser, args, console, kDemoStationHelp)) return kExitOk;
  if (parser.Positional().size() != 1) throw UsageError("demo-station erwartet genau ein VERZEICHNIS");
  const std::string& given = parser.Positional()[0];
  if (given.empty()) throw UsageError("demo-station erwartet ein VERZEICHNIS, keinen leeren Text");

  std::string dir = platform::Os().HostAbsolute(given);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string error;
  if (!CreateDemoStation(platform::Os(), platform::Os(), dir, error)) {
    console.err << error << "\n";
    return kExitFailed;
  }
  console.out << "Demo-Station angelegt: " << dir << "\n"
              << "Benutzen mit:\n"
              << DemoStationEnvLine(dir) << "\n";
  return kExitOk;
}

}  // namespace velmor::cli
