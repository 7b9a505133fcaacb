// velmorctl journal and velmorctl undo: the transfers kept in the journal, and taking one back.
#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <iterator>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/TransferJournal.h"
#include "core/TransferUndo.h"

namespace velmor::cli {
namespace {

constexpr const char* kJournalHelp =
    "Aufruf: velmorctl journal [--prune [--keep N] [--days D]]\n"
    "\n"
    "Listet die Übertragungen im Protokoll, je Station (Wine-Präfix) die jüngste zuerst: Kennung,\n"
    "Beginn, Zustand (abgeschlossen, unterbrochen, läuft, zurückgenommen, zum Teil zurückgenommen,\n"
    "abgelehnt), Station (Kundenkennung/Stationsnummer) und Projektverzeichnis. Das Protokoll liegt\n"
    "in $XDG_STATE_HOME/velmor/journal (ohne XDG_STATE_HOME in ~/.local/state/velmor/journal).\n"
    "Zu jeder Übertragung steht ihre Größe im Protokoll (gesicherte Inhalte zählen bei der ersten,\n"
    "die sie gesichert hat: jeder Inhalt wird je Station nur einmal gesichert), am Ende die Summe.\n"
    "\n"
    "Optionen:\n"
    "  --prune     alte abgeschlossene, abgelehnte und zurückgenommene Übertragungen entfernen; sie\n"
    "              lassen sich danach nicht mehr zurücknehmen. Unterbrochene, laufende und zum Teil\n"
    "              zurückgenommene bleiben immer.\n"
    "  --keep N    je Station die letzten N behalten\n"
    "  --days D    die behalten, die jünger als D Tage sind\n"
    "              (beide: entfernt wird, was keine der beiden Regeln behält; ohne beide: --keep 20\n"
    "              --days 30, so wie nach jeder abgeschlossenen Übertragung für ihre Station)\n"
    "\n"
    "Exit-Codes: 0 erledigt, 2 falscher Aufruf.\n";

constexpr const char* kUndoHelp =
    "Aufruf: velmorctl undo [ID] [--dry-run]\n"
    "\n"
    "Nimmt die letzte (oder die genannte) Übertragung genau zurück: die gesicherten Symboldateien\n"
    "kommen aus SIASC in die Normstammdaten zurück, was die Übertragung angelegt hat, wird entfernt,\n"
    "was sie überschrieben hat (Projektdateien, ARGV.DAT), bekommt den alten Inhalt zurück. Das gilt\n"
    "auch für eine unterbrochene Übertragung; eine neue Übertragung auf der Station beginnt erst,\n"
    "wenn sie zurückgenommen ist. Eine Datei, die seit der Übertragung geändert wurde, bleibt, wie sie\n"
    "ist, und wird gemeldet. Folgten auf derselben Station weitere Übertragungen, sind zuerst diese\n"
    "zurückzunehmen. Die IDs (Kennungen) nennt velmorctl journal.\n"
    "\n"
    "Optionen:\n"
    "  --dry-run   jeden Schritt der Reihe nach ausgeben, nichts ändern\n"
    "\n"
    "Exit-Codes: 0 zurückgenommen, 1 nicht oder nicht ganz zurückgenommen (geänderte Dateien,\n"
    "bereits zurückgenommen, unbekannte Kennung), 2 falscher Aufruf.\n";

// The state in a column of equal width on the screen (an umlaut is two bytes and one letter).
std::string StateColumn(JournalState state) {
  std::string text = JournalStateText(state);
  size_t letters = 0;
  for (const unsigned char c : text) letters += (c & 0xc0) != 0x80;
  return text + std::string(letters < 23 ? 23 - letters : 0, ' ');
}

// "812 B", "12,4 KiB", "3,0 MiB", "1,2 GiB".
std::string SizeText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  for (; value >= 1024 && unit + 1 < std::size(units); ++unit) value /= 1024;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  std::string out = text;
  if (const size_t dot = out.find('.'); dot != std::string::npos) out[dot] = ',';
  return out;
}

std::string Station(const JournalInfo& info) {
  return info.CustomerId + "/" + info.StationNumber;
}

}  // namespace

int JournalCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  parser.Flag("prune");
  parser.Value("keep");
  parser.Value("days");
  if (ParseOrHelp(parser, args, console, kJournalHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("unerwartetes Argument: " + parser.Positional().front());
  if (parser.Has("prune")) {
    PrunePolicy policy;
    if (const auto keep = parser.Number("keep")) policy.Keep = static_cast<size_t>(*keep);
    if (const auto days = parser.Number("days"))
      policy.Days = static_cast<unsigned>(std::min(*days, 100000ull));
    if (!policy.Keep && !policy.Days) policy = {kPruneKeepDefault, kPruneDaysDefault};
    const PruneResult pruned = PruneJournals(platform::Os(), platform::Os(), "", policy);
    for (const std::string& line : pruned.Failures) console.err << line << "\n";
    console.out << pruned.Removed << " Übertragungen entfernt, " << SizeText(pruned.Bytes) << " frei\n";
    return pruned.Failures.empty() ? kExitOk : kExitFailed;
  }
  if (parser.Has("keep") || parser.Has("days")) throw UsageError("--keep und --days nur mit --prune");
  const std::vector<JournalInfo> journals = ListJournals(platform::Os(), platform::Os());
  if (journals.empty()) {
    console.err << "Keine Übertragungen im Protokoll (" << JournalFolderHost(platform::Os()) << ")\n";
    return kExitOk;
  }
  // Grouped by station (its Wine prefix), the latest first in each.
  std::string prefix;
  for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
    if (it == journals.rbegin() || it->Prefix != prefix) {
      prefix = it->Prefix;
      console.out << "Station " << prefix << ":\n";
    }
    console.out << it->Id << "  " << it->Time << "  " << StateColumn(it->State) << "  " << Station(*it)
                << "  " << std::right << std::setw(10) << SizeText(it->Bytes) << "  " << it->ProjectFolder
                << "\n";
  }
  console.out << "Zusammen: " << journals.size() << " Übertragungen, "
              << SizeText(JournalFolderBytes(platform::Os(), platform::Os())) << " in "
              << JournalFolderHost(platform::Os()) << "\n";
  return kExitOk;
}

int UndoCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  parser.Flag("dry-run");
  if (ParseOrHelp(parser, args, console, kUndoHelp)) return kExitOk;
  if (parser.Positional().size() > 1) throw UsageError("unerwartetes Argument: " + parser.Positional()[1]);
  const std::string id = parser.Positional().empty() ? std::string() : parser.Positional().front();
  const bool dryRun = parser.Has("dry-run");

  ConsoleReporter reporter(console, Answer::No);
  TransferUndo undo(platform::Os(), platform::Os(), reporter);
  undo.SetHolder("velmorctl undo");
  undo.SetDryRun(dryRun);
  const UndoResult result = undo.Run(id);
  if (result.Outcome == UndoOutcome::Refused || result.Outcome == UndoOutcome::AlreadyUndone)
    return kExitFailed;  // the reason is said

  if (dryRun) {
    for (const UndoStep& step : result.Steps) console.out << DescribeUndoStep(step) << "\n";
  }
  for (const std::string& line : result.Warnings) console.err << "Warnung: " << line << "\n";
  for (const std::string& line : result.Conflicts) console.err << line << "\n";
  for (const std::string& line : result.Failures) console.err << line << "\n";
  console.out << (dryRun ? "Probelauf, nichts geändert: Übertragung " : "Übertragung ") << result.Journal.Id
              << " (" << result.Journal.ProjectFolder << ")"
              << (dryRun                                ? ""
                  : result.Outcome == UndoOutcome::Done ? " zurückgenommen"
                                                        : " zum Teil zurückgenommen")
              << ", " << result.Steps.size() << " Schritte\n";
  return result.Outcome == UndoOutcome::Done ? kExitOk : kExitFailed;
}

}  // namespace velmor::cli
