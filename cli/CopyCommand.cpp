#include <limits>
#include <map>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "platform/Platform.h"
#include "support/DeleteDir.h"

namespace velmor::cli {
namespace {

constexpr const char* kCopyHelp =
    "Aufruf: velmorctl copy --source ORDNER --target ORDNER --masks TEXT [OPTIONEN]\n"
    "\n"
    "Kopiert jede Datei unter ORDNER (mit Unterordnern), deren Name zu einer der Masken passt,\n"
    "flach in den Zielordner, wie die Übertragung des Programms; vorhandene Dateien werden\n"
    "überschrieben. Der Zielordner wird nur angelegt, wenn etwas passt. Gibt die kopierten\n"
    "Dateien aus, eine Zeile je Datei (der Pfad im Quellordner), in der Reihenfolge der Kopie.\n"
    "\n"
    "Optionen:\n"
    "  --source ORDNER     der zu durchsuchende Ordner\n"
    "  --target ORDNER     der Zielordner\n"
    "  --masks TEXT        Dateimasken, durch \";\" getrennt (etwa \"*.EXF;*.BMP\")\n"
    "  --exclude ZEILE     nie kopierte Einträge \"[ORDNER\\]MASKE\" (mehrfach erlaubt)\n"
    "  --attributes N      Attribute jeder Kopie als Zahl (Vorgabe 128: normale Datei)\n"
    "\n"
    "Exit-Codes: 0 kopiert; 1 Quellordner fehlt, keine passende Datei oder eine Kopie fehlt\n"
    "danach im Ziel; 2 falscher Aufruf.\n";

}  // namespace

int CopyCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  for (const char* value : {"source", "target", "masks", "attributes"}) parser.Value(value);
  parser.Repeated("exclude");
  if (ParseOrHelp(parser, args, console, kCopyHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("copy erwartet keine Argumente ohne Option");
  for (const char* required : {"source", "target", "masks"})
    if (!parser.Get(required)) throw UsageError(std::string("copy braucht --") + required);
  const auto attributes = parser.Number("attributes").value_or(platform::kAttrNormal);
  if (attributes > std::numeric_limits<uint32_t>::max()) throw UsageError("--attributes ist zu groß");

  TCopyTree copier(platform::Os());
  copier.SourceFolder = WindowsPathArg(*parser.Get("source"));
  copier.TargetFolder = WindowsPathArg(*parser.Get("target"));
  copier.Masks = *parser.Get("masks");
  copier.Attributes = static_cast<uint32_t>(attributes);
  copier.Search.Criteria().Files.Excluded = parser.All("exclude");

  if (copier.SourceFolder.empty() || !platform::Os().DirectoryExists(copier.SourceFolder)) {
    console.err << "Der Quellordner " << copier.SourceFolder << " existiert nicht\n";
    return kExitFailed;
  }
  // Temporary files that an earlier copy left when it was killed: the names are the platform's own.
  platform::Os().RemoveStaleTemporaries(copier.TargetFolder);
  copier.CopyFiles();
  if (copier.FoundFiles.empty()) {
    console.err << "Keine passende Datei gefunden\n";
    return kExitFailed;
  }
  // The copy itself passes failures over, so each file is checked in the target: the output lists
  // the files that arrived, and the errors name the ones that did not. A copy keeps the source's size
  // and last-write time, so an older file of the same name left in the target (one that refused to be
  // overwritten) does not count as arrived. Of several sources with one name the last is the one that
  // must have arrived.
  std::map<std::string, std::string> lastSourceOf;
  for (const std::string& file : copier.FoundFiles)
    lastSourceOf[platform::FoldUpper(file.substr(file.rfind('\\') + 1))] = file;
  std::string listing, errors;
  for (const std::string& file : copier.FoundFiles) {
    const std::string name = file.substr(file.rfind('\\') + 1);
    platform::FindData source, target;
    const bool arrived = lastSourceOf[platform::FoldUpper(name)] != file ||
                         (platform::Os().GetFileData(file, source) &&
                          platform::Os().GetFileData(copier.TargetFolder + name, target) &&
                          target.size == source.size && target.lastWriteTime == source.lastWriteTime);
    if (arrived)
      listing += file + "\n";
    else
      errors += "Nicht kopiert: " + file + "\n";
  }
  console.out << listing;
  console.out.flush();
  console.err << errors;
  return errors.empty() ? kExitOk : kExitFailed;
}

}  // namespace velmor::cli
