#include <ostream>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/PageHeaders.h"

namespace velmor::cli {
namespace {

constexpr const char* kHeadersHelp =
    "Aufruf: velmorctl headers\n"
    "\n"
    "Teilt die ersten 256 Bytes von D:\\SEITEN.SPL in die Kopfdateien D:\\SH1 (Bytes 0 bis 44),\n"
    "D:\\SH2 (Bytes 54 bis 78) und D:\\SH3 (Bytes 78 bis 255). Vorhandene Kopfdateien werden\n"
    "ersetzt; eine kürzere Quelle wird mit Nullbytes aufgefüllt.\n"
    "\n"
    "Exit-Codes: 0 erledigt; 1 D:\\SEITEN.SPL nicht zu öffnen oder eine Kopfdatei nicht zu\n"
    "schreiben (Meldung auf stderr); 2 falscher Aufruf.\n";

}  // namespace

int HeadersCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  if (ParseOrHelp(parser, args, console, kHeadersHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("headers erwartet keine Argumente");

  switch (BuildHeaders(platform::Os())) {
    case HeaderResult::Done:
      return kExitOk;
    case HeaderResult::NoSource:
      console.err << "Die Datei " << kPageSource << " kann nicht geöffnet werden\n";
      return kExitFailed;
    case HeaderResult::TargetFailed:
      console.err << "Die Kopfdateien D:\\SH1 bis D:\\SH3 können nicht geschrieben werden\n";
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace velmor::cli
