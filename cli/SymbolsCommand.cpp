#include <ostream>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/ExfHeader.h"
#include "platform/Platform.h"
#include "support/PathRoutines.h"

namespace velmor::cli {
namespace {

constexpr const char* kSymbolsHelp =
    "Aufruf: velmorctl symbols ORDNER\n"
    "\n"
    "Listet die Symboldateien, die die Kopfdatei ORDNER\\EPL_ASC.EXF nennt (den Satz \"950 \"),\n"
    "genau wie die Liste \"verwendete Symboldateien\" des Fensters: eine Zeile \"N:NAME\" je\n"
    "Datei, N ab 1. Nur diese Zeilen gehen nach stdout. ORDNER darf ein Windows-Pfad (D:\\EXF)\n"
    "oder ein Pfad des Rechners sein.\n"
    "\n"
    "Exit-Codes: 0 Kopfdatei gelesen, auch wenn sie keinen Satz \"950 \" oder keine Namen hat\n"
    "(dann bleibt stdout leer); 1 keine Kopfdatei im Ordner oder nicht lesbar (Meldung auf\n"
    "stderr); 2 falscher Aufruf.\n";

}  // namespace

int SymbolsCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  if (ParseOrHelp(parser, args, console, kSymbolsHelp)) return kExitOk;
  if (parser.Positional().size() != 1) throw UsageError("symbols erwartet genau einen ORDNER");

  const std::string folder = WindowsPathArg(parser.Positional()[0]);
  const auto lines = ReadSymbolList(platform::Os(), folder);
  if (!lines) {
    const std::string header = AppendBackslash(folder) + std::string(kExfHeaderName);
    if (platform::Os().FileExists(header))
      console.err << "Die Kopfdatei " << header << " kann nicht gelesen werden\n";
    else
      console.err << "Keine Kopfdatei " << header << " gefunden\n";
    return kExitFailed;
  }
  for (const std::string& line : *lines) console.out << line << "\n";
  return kExitOk;
}

}  // namespace velmor::cli
