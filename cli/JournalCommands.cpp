// velmorctl journal and velmorctl undo: the transfers kept in the journal, and taking one back.
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/TransferJournal.h"
#include "core/TransferUndo.h"

namespace velmor::cli {
namespace {

constexpr const char* kJournalHelp =
    "Aufruf: velmorctl journal\n"
    "\n"
    "Listet die Übertragungen im Protokoll, je Station (Wine-Präfix) die jüngste zuerst: Kennung,\n"
    "Beginn, Zustand (abgeschlossen, unterbrochen, läuft, zurückgenommen, zum Teil zurückgenommen,\n"
    "abgelehnt), Station (Kundenkennung/Stationsnummer) und Projektverzeichnis. Das Protokoll liegt\n"
    "in $XDG_STATE_HOME/velmor/journal (ohne XDG_STATE_HOME in ~/.local/state/velmor/journal).\n"
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

std::string Station(const JournalInfo& info) {
  return info.CustomerId + "/" + info.StationNumber;
}

}  // namespace

int JournalCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  if (ParseOrHelp(parser, args, console, kJournalHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("unerwartetes Argument: " + parser.Positional().front());
  const std::vector<JournalInfo> journals = ListJournals();
  if (journals.empty()) {
    console.err << "Keine Übertragungen im Protokoll (" << JournalFolderHost() << ")\n";
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
                << "  " << it->ProjectFolder << "\n";
  }
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
  TransferUndo undo(reporter);
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
