#include <limits>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "search/FindFileEx.h"

namespace velmor::cli {
namespace {

constexpr const char* kFindHelp =
    "Aufruf: velmorctl find --location ORDNER[;ORDNER...] [OPTIONEN]\n"
    "\n"
    "Sucht Dateien wie die Suche des Programms und gibt jeden Treffer als Ordner und Name aus,\n"
    "eine Zeile je Treffer, in der Reihenfolge der Suche (je Ordner die Treffer der letzten Maske\n"
    "zuerst, dann die Unterordner). Nur diese Zeilen gehen nach stdout.\n"
    "\n"
    "Optionen:\n"
    "  --location TEXT     Ordner, durch \";\" getrennt; \"<\" davor: ohne Unterordner, \">\": mit\n"
    "  --mask TEXT         Dateimasken, durch \";\" getrennt (etwa \"*.EXF;*.BMP\")\n"
    "  --include ZEILE     weiterer Ort \"ORDNER\\MASKE\" (mehrfach erlaubt)\n"
    "  --exclude ZEILE     nie gemeldete Einträge \"[ORDNER\\]MASKE\" (mehrfach erlaubt)\n"
    "  --no-subfolders     Unterordner nicht durchsuchen\n"
    "  --min-level N       erst ab dieser Tiefe melden (der Ordner selbst ist Tiefe 1)\n"
    "  --max-level N       nicht tiefer als bis zu dieser Tiefe suchen (0: unbegrenzt)\n"
    "  --min-size N        nur Dateien ab N Bytes\n"
    "  --max-size N        nur Dateien bis N Bytes\n"
    "  --phrase TEXT       nur Dateien, die TEXT enthalten\n"
    "  --case-sensitive    TEXT mit Groß- und Kleinschreibung vergleichen\n"
    "  --attributes LISTE  erlaubte Attribute aus a r h s d (Archiv, schreibgeschützt, versteckt,\n"
    "                      System, Ordner); Vorgabe \"arhs\"\n"
    "  --exact             die Attribute müssen genau LISTE sein\n"
    "  --count             nur die Zahl der Treffer ausgeben\n"
    "\n"
    "Exit-Codes: 0 mindestens ein Treffer; 1 kein Treffer; 2 falscher Aufruf.\n";

// Each ";"-separated folder may be a host path; its "<" or ">" prefix stays in front of it.
std::string LocationArg(const std::string& text) {
  std::string result;
  for (std::string item : SplitList(text)) {
    std::string prefix;
    if (!item.empty() && (item[0] == '<' || item[0] == '>')) {
      prefix = item.substr(0, 1);
      item.erase(0, 1);
    }
    if (!result.empty()) result.push_back(';');
    result += prefix + (item.empty() ? item : WindowsPathArg(item));
  }
  return result;
}

uint32_t AttributeArg(const std::string& letters) {
  uint32_t bits = 0;
  for (char c : letters) {
    switch (c) {
      case 'a':
        bits |= ffArchive;
        break;
      case 'r':
        bits |= ffReadonly;
        break;
      case 'h':
        bits |= ffHidden;
        break;
      case 's':
        bits |= ffSystem;
        break;
      case 'd':
        bits |= ffDirectory;
        break;
      default:
        throw UsageError(std::string("--attributes kennt nur die Buchstaben a r h s d, nicht: ") + c);
    }
  }
  return bits;
}

template <typename T>
T Bounded(const ArgParser& parser, const std::string& name, T fallback) {
  const auto value = parser.Number(name);
  if (!value) return fallback;
  if (*value > std::numeric_limits<T>::max())
    throw UsageError("--" + name + " darf höchstens " + std::to_string(std::numeric_limits<T>::max()) +
                     " sein");
  return static_cast<T>(*value);
}

}  // namespace

int FindCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  for (const char* flag : {"no-subfolders", "case-sensitive", "exact", "count"}) parser.Flag(flag);
  for (const char* value :
       {"location", "mask", "min-level", "max-level", "min-size", "max-size", "phrase", "attributes"})
    parser.Value(value);
  parser.Repeated("include");
  parser.Repeated("exclude");
  if (ParseOrHelp(parser, args, console, kFindHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("find erwartet keine Argumente ohne Option");
  if (!parser.Has("location") && !parser.Has("include"))
    throw UsageError("find braucht --location oder --include");

  TFindFileEx search(platform::Os());
  TSearchCriteria& criteria = search.Criteria();
  criteria.Files.Location = LocationArg(parser.Get("location").value_or(""));
  criteria.Files.FileName = parser.Get("mask").value_or("");
  for (const std::string& line : parser.All("include")) {
    // The folder part may be a host path; the mask after the last separator stays as given.
    const size_t cut = line.find_last_of("\\/");
    if (cut == std::string::npos || line[0] == '<' || line[0] == '>' || line.find('\\') != std::string::npos)
      criteria.Files.Included.push_back(line);
    else
      criteria.Files.Included.push_back(WindowsPathArg(line.substr(0, cut)) + "\\" + line.substr(cut + 1));
  }
  criteria.Files.Excluded = parser.All("exclude");
  criteria.Files.Subfolders = !parser.Has("no-subfolders");
  criteria.Files.MinLevel = Bounded<uint16_t>(parser, "min-level", 0);
  criteria.Files.MaxLevel = Bounded<uint16_t>(parser, "max-level", 0);
  criteria.Size.Min = Bounded<uint32_t>(parser, "min-size", 0);
  criteria.Size.Max = Bounded<uint32_t>(parser, "max-size", 0);
  criteria.Content.SetPhrase(parser.Get("phrase").value_or(""));
  criteria.Content.SetIgnoreCase(!parser.Has("case-sensitive"));
  if (auto letters = parser.Get("attributes")) criteria.Attribute.SetAttributes(AttributeArg(*letters));
  criteria.Attribute.ExactMatch = parser.Has("exact");

  const bool countOnly = parser.Has("count");
  uint64_t matches = 0;
  // Lines are collected and written in large pieces: a search over a whole drive prints many of them.
  std::string pending;
  search.OnFileMatch = [&](TFindFileEx&, const std::string& folder, const TSearchRec& info) {
    ++matches;
    if (countOnly) return;
    pending += folder;
    pending += info.Name;
    pending += '\n';
    if (pending.size() >= 64 * 1024) {
      console.out << pending;
      pending.clear();
    }
  };
  search.Execute();
  if (countOnly)
    console.out << matches << "\n";
  else
    console.out << pending;
  console.out.flush();
  if (matches == 0) {
    if (!countOnly) console.err << "Keine passende Datei gefunden\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace velmor::cli
