#include "cli/Cli.h"

namespace velmor::cli {

int EnvCommand(const std::vector<std::string>& args, Console& console);
int SymbolsCommand(const std::vector<std::string>& args, Console& console);
int FindCommand(const std::vector<std::string>& args, Console& console);
int CopyCommand(const std::vector<std::string>& args, Console& console);
int SizeCommand(const std::vector<std::string>& args, Console& console);
int TransferCommand(const std::vector<std::string>& args, Console& console);
int HeadersCommand(const std::vector<std::string>& args, Console& console);
int DemoStationCommand(const std::vector<std::string>& args, Console& console);
int JournalCommand(const std::vector<std::string>& args, Console& console);
int UndoCommand(const std::vector<std::string>& args, Console& console);

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"env", "EPLAN-Umgebung lesen und anzeigen", EnvCommand},
      {"symbols", "Symboldateien aus ORDNER\\EPL_ASC.EXF auflisten", SymbolsCommand},
      {"find", "Dateien nach Suchkriterien finden", FindCommand},
      {"copy", "Dateien eines Ordners nach Masken flach kopieren", CopyCommand},
      {"size", "Größe von Ordnern mit allen Unterordnern ausgeben", SizeCommand},
      {"transfer", "EXF-Daten in ein neues EPLAN-Projekt übertragen", TransferCommand},
      {"journal", "die Übertragungen im Protokoll auflisten", JournalCommand},
      {"undo", "die letzte (oder die genannte) Übertragung zurücknehmen", UndoCommand},
      {"headers", "Seitenkopf D:\\SEITEN.SPL in D:\\SH1..SH3 aufteilen", HeadersCommand},
      {"demo-station", "eine Demo-EPLAN-5-Station in DIR anlegen", DemoStationCommand},
  };
  return commands;
}

}  // namespace velmor::cli
