// velmorctl transfer: the project transfer without a window.
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "core/EplanEnvironment.h"
#include "core/ProjectTransfer.h"
#include "core/WindowSettings.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "search/FindFileEx.h"
#include "support/TovrelUtil.h"

namespace velmor::cli {
namespace {

constexpr const char* kHelp =
    "Aufruf: velmorctl transfer [OPTIONEN]\n"
    "\n"
    "Legt ein neues EPLAN-5-Projekt NAME.P im Projektpfad an: kopiert das Musterprojekt EXF0, die\n"
    "EXF-Daten (*.EXF, *.BMP) und Rahmen (*.EXP) hinein, sichert die Symboldateien der Normstammdaten\n"
    "nach SIASC, kopiert die neuen Symboldateien (*.ASC) dorthin und schreibt den Projektnamen in\n"
    "ARGV.DAT der Station. Jede Übertragung wird protokolliert und lässt sich mit velmorctl undo genau\n"
    "zurücknehmen; solange eine unterbrochene Übertragung nicht zurückgenommen ist, beginnt auf der\n"
    "Station keine neue.\n"
    "\n"
    "Optionen (ohne Angabe gelten die EPLAN-Umgebung und die in Velmor.INI gespeicherten Texte):\n"
    "  --name NAME             Projektname (ProjektName_Text)\n"
    "  --project-path PFAD     Ordner, in dem das Projekt angelegt wird (Projektordner der APD-Datei)\n"
    "  --exf ORDNER            EXF-Daten mit EPL_ASC.EXF (ExfVErz_Text)\n"
    "  --asc ORDNER            Symboldateien (--exf, falls angegeben, sonst AscVerz_Text)\n"
    "  --exp ORDNER            Rahmen (--exf, falls angegeben, sonst ExpVerz_Text)\n"
    "  --normal-master ORDNER  Normstammdaten (Ordner der APD-Datei), Text wie eingegeben\n"
    "  --yes                   ein vorhandenes Projekt überschreiben\n"
    "  --no                    bei vorhandenem Projekt abbrechen\n"
    "                          (ohne beide: Rückfrage am Terminal, sonst Abbruch)\n"
    "  --dry-run               jede Aktion der Reihe nach ausgeben, nichts ändern\n"
    "  --quiet                 keine Fortschrittszeile\n"
    "\n"
    "Fehler (nicht kopierte Dateien, nicht gesicherte Symboldateien, nicht geschriebene ARGV.DAT) und\n"
    "Warnungen (gesicherte, aber schreibgeschützte und darum nicht entfernte Symboldateien) stehen auf\n"
    "stderr.\n"
    "\n"
    "Exit-Codes: 0 erledigt (auch mit Warnungen), 1 fehlgeschlagen, abgelehnt oder abgebrochen,\n"
    "2 falscher Aufruf.\n";

// A text the window stored at its last close.
std::string StoredText(std::string_view storedText) {
  return platform::Os().GetPrivateProfileString(settings::kSection, settings::KeyOf(storedText), "",
                                                settings::kFile);
}

// Failures and warnings go to stderr; true when something failed.
bool PrintReport(const TransferResult& result, Console& console) {
  const TransferReport report = ReportTransfer(result);
  for (const std::string& line : report.Lines) console.err << line << "\n";
  return report.Failed;
}

}  // namespace

int TransferCommand(const std::vector<std::string>& args, Console& console) {
  ArgParser parser;
  for (const char* name : {"name", "project-path", "exf", "asc", "exp", "normal-master"}) parser.Value(name);
  for (const char* name : {"yes", "no", "dry-run", "quiet"}) parser.Flag(name);
  if (ParseOrHelp(parser, args, console, kHelp)) return kExitOk;
  if (!parser.Positional().empty()) throw UsageError("unerwartetes Argument: " + parser.Positional().front());
  if (parser.Has("yes") && parser.Has("no")) throw UsageError("--yes und --no schließen sich aus");
  const Answer answer = parser.Has("yes") ? Answer::Yes : parser.Has("no") ? Answer::No : Answer::Ask;
  const bool dryRun = parser.Has("dry-run");

  ConsoleReporter reporter(console, answer);
  EplanEnvironment env;
  // An empty parameter file leaves the folders empty; options can still name them.
  if (!ReadEnvironment(env, reporter, console, /*emptyApdIsFailure=*/false)) return kExitFailed;

  auto pathOption = [&](const char* name, const std::string& fallback) {
    const auto value = parser.Get(name);
    return value ? WindowsPathArg(*value) : fallback;
  };
  TransferInputs in;
  in.ProjectName = parser.Get("name").value_or(StoredText(settings::kProjectName));
  in.ProjectPath = pathOption("project-path", env.ProjectFolder);
  in.NormalMaster = pathOption("normal-master", env.NormalMasterFolder);
  in.ExfDir = pathOption("exf", StoredText(settings::kExfDir));
  // As in the window, a new EXF folder is also the folder of the symbols and frames unless they are
  // named apart.
  const bool exfGiven = parser.Has("exf");
  in.AscDir = pathOption("asc", exfGiven ? in.ExfDir : StoredText(settings::kAscDir));
  in.ExpDir = pathOption("exp", exfGiven ? in.ExfDir : StoredText(settings::kExpDir));
  in.EplanDir = env.EplanDir;
  in.CustomerId = env.CustomerId;
  in.StationNumber = env.StationNumber;
  if (in.ProjectPath.empty()) {
    console.err
        << "Kein Projektpfad: die Parameterdatei nennt keinen Projektordner (--project-path angeben)\n";
    return kExitFailed;
  }

  platform::IPlatform& os = platform::Os();
  TFindFileEx FF(os);
  TQxstringlist samples;
  ConfigureSampleSearch(FF, samples);
  SetSampleLocation(FF, os.ProgramDirectory());

  ProjectTransfer transfer(os, os, FF, samples, reporter);
  transfer.SetDryRun(dryRun);
  transfer.SetHolder("velmorctl transfer");
  if (console.stderrIsTerminal && !parser.Has("quiet") && !dryRun) {
    transfer.SetProgress([&reporter](size_t done, size_t total, const std::string& current) {
      reporter.Progress(done, total, current);
    });
  }

  TransferResult result;
  try {
    result = transfer.Run(in);
  } catch (const TransferError& error) {
    // The error ended the run: it is said after what failed before it.
    reporter.EndProgressLine();
    PrintReport(error.Result(), console);
    return kExitFailed;
  } catch (...) {
    reporter.EndProgressLine();
    throw;
  }
  reporter.EndProgressLine();

  if (dryRun) {
    for (const TransferAction& action : result.Actions) console.out << DescribeAction(action) << "\n";
  }
  switch (result.Outcome) {
    case TransferOutcome::InvalidName:
    case TransferOutcome::NoSamples:
    case TransferOutcome::Busy:
    case TransferOutcome::Pending:
    case TransferOutcome::NoJournal:
    case TransferOutcome::NotCreatable:
    case TransferOutcome::Unsafe:
      return kExitFailed;  // the service has shown its message
    case TransferOutcome::Cancelled:
      console.err << "Abgebrochen: " << result.ProjectFolder << " besteht bereits\n";
      return kExitFailed;
    case TransferOutcome::Done:
      break;
  }

  const bool failed = PrintReport(result, console);
  console.out << (dryRun ? "Probelauf, nichts geändert: Projekt " : "Projekt ") << result.ProjectFolder
              << ", " << result.FilesCopied << " Dateien kopiert, " << result.SymbolsBackedUp
              << " Symboldateien gesichert" << (result.ArgvWritten ? ", ARGV.DAT geschrieben" : "") << "\n";
  if (!result.JournalId.empty())
    console.out << "Zurücknehmen mit: velmorctl undo " << result.JournalId << "\n";
  return failed ? kExitFailed : kExitOk;
}

}  // namespace velmor::cli
