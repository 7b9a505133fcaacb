// velmorctl size: the size of folder trees, counted as the folder tree's "Ordnergröße" counts it.
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "platform/Platform.h"
#include "support/FolderSize.h"

namespace velmor::cli {
namespace {

constexpr const char* kSizeHelp =
    "Aufruf: velmorctl size ORDNER [ORDNER...]\n"
    "\n"
    "Gibt die Größe jedes Ordners mit allen Unterordnern aus, wie \"Ordnergröße\" im Ordnerbaum\n"
    "sie zählt und wie du -sb: jede Datei im Ordner und in jedem Ordner darunter (versteckte,\n"
    "System- und schreibgeschützte Dateien eingeschlossen), eine Datei mit mehreren Namen einmal, ein\n"
    "Link mit seiner eigenen Länge. Links auf Ordner werden nicht verfolgt, jeder Ordner zählt einmal;\n"
    "virtuelle Dateisysteme (/proc, /sys, /dev) enthalten nichts Gespeichertes und zählen nicht. Je\n"
    "Ordner eine Zeile: Bytes, Tabulator, Ordner.\n"
    "\n"
    "Optionen:\n"
    "  --details    dazu die Zahl der Dateien und der Unterordner\n"
    "\n"
    "Exit-Codes: 0 gemessen; 1 ein Ordner fehlt oder kann nicht gelesen werden; 2 falscher Aufruf.\n";

}  // namespace

int SizeCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  parser.Flag("details");
  if (ParseOrHelp(parser, args, console, kSizeHelp)) return kExitOk;
  if (parser.Positional().empty()) throw UsageError("size braucht mindestens einen ORDNER");
  const bool details = parser.Has("details");
  int result = kExitOk;
  for (const std::string& arg : parser.Positional()) {
    const std::string folder = WindowsPathArg(arg);
    const std::string shown = platform::Os().FullPath(folder).value_or(folder);
    if (folder.empty() || !platform::Os().DirectoryExists(folder)) {
      console.err << "Der Ordner " << shown << " existiert nicht\n";
      result = kExitFailed;
      continue;
    }
    const FolderTreeSize size = MeasureFolderTree(platform::Os(), folder);
    if (!size.Listed) {
      console.err << "Der Ordner " << shown << " kann nicht gelesen werden\n";
      result = kExitFailed;
      continue;
    }
    console.out << size.Bytes << '\t' << shown;
    if (details) console.out << '\t' << size.Files << " Dateien\t" << size.Folders << " Unterordner";
    console.out << '\n';
  }
  console.out.flush();
  return result;
}

}  // namespace velmor::cli
