#include "cli/Cli.h"

#include <cctype>
#include <ostream>

#include "platform/Error.h"
#include "platform/Platform.h"

namespace velmor::cli {

void ArgParser::Flag(const std::string& name) {
  kinds_[name] = Kind::Flag;
}
void ArgParser::Value(const std::string& name) {
  kinds_[name] = Kind::Value;
}
void ArgParser::Repeated(const std::string& name) {
  kinds_[name] = Kind::Repeated;
}

void ArgParser::Parse(const std::vector<std::string>& args) {
  bool onlyPositional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyPositional || a.size() < 3 || a.compare(0, 2, "--") != 0) {
      if (a == "--") {
        onlyPositional = true;
        continue;
      }
      if (!onlyPositional && a.size() > 1 && a[0] == '-' && a != "-")
        throw UsageError("unbekannte Option: " + a);
      positional_.push_back(a);
      continue;
    }
    std::string name = a.substr(2);
    std::optional<std::string> inlineValue;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    auto it = kinds_.find(name);
    if (it == kinds_.end()) throw UsageError("unbekannte Option: --" + name);
    if (it->second == Kind::Flag) {
      if (inlineValue) throw UsageError("--" + name + " nimmt keinen Wert");
      values_[name].push_back("");
      continue;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else {
      if (i + 1 >= args.size()) throw UsageError("--" + name + " braucht einen Wert");
      value = args[++i];
    }
    if (it->second == Kind::Value && values_.count(name))
      throw UsageError("--" + name + " darf nur einmal angegeben werden");
    values_[name].push_back(value);
  }
}

bool ArgParser::Has(const std::string& name) const {
  return values_.count(name) != 0;
}

std::optional<std::string> ArgParser::Get(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> ArgParser::All(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::vector<std::string>{} : it->second;
}

std::optional<unsigned long long> ArgParser::Number(const std::string& name) const {
  auto v = Get(name);
  if (!v) return std::nullopt;
  if (v->empty() || v->size() > 19) throw UsageError("--" + name + " braucht eine Zahl: " + *v);
  for (char c : *v)
    if (!std::isdigit(static_cast<unsigned char>(c)))
      throw UsageError("--" + name + " braucht eine Zahl: " + *v);
  return std::stoull(*v);
}

std::string WindowsPathArg(const std::string& arg) {
  const bool hasDrive = arg.size() >= 2 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':';
  const bool looksHost = !hasDrive && arg.find('\\') == std::string::npos &&
                         (arg.find('/') != std::string::npos || arg == "." || arg == ".." || arg == "~");
  if (!looksHost) return arg;
  std::string host = arg;
  if (host == "~" || host.rfind("~/", 0) == 0) host = platform::Os().GetEnv("HOME") + host.substr(1);
  std::string windows = platform::Os().ToWindows(platform::Os().HostAbsolute(host));
  // A trailing "/" names the folder itself, as a trailing "\" does: texts joined to it without a
  // separator (the backup folder is NormalStamm + "SIASC") must land inside it, not beside it.
  if (host.size() > 1 && host.back() == '/' && !windows.empty() && windows.back() != '\\')
    windows.push_back('\\');
  return windows;
}

namespace {

void PrintOverview(std::ostream& out) {
  out << "Aufruf: velmorctl BEFEHL [OPTIONEN]\n\n"
         "Überträgt EXF-Daten in ein neues EPLAN-5-Projekt, ohne Fenster.\n\nBefehle:\n";
  for (const Command& c : Commands()) {
    std::string name = c.name;
    name.resize(14, ' ');
    out << "  " << name << c.summary << "\n";
  }
  out << "\nAllgemeine Optionen:\n"
         "  --help        diese Hilfe; BEFEHL --help zeigt die Hilfe eines Befehls\n"
         "  --version     Versionsnummer\n\n"
         "Pfade dürfen Windows-Pfade (C:\\EPLAN5\\P) oder Pfade des Rechners (/home/u/x) sein.\n"
         "Exit-Codes: 0 erledigt, 1 fehlgeschlagen oder nichts zu tun, 2 falscher Aufruf.\n";
}

}  // namespace

int RunMain(const std::vector<std::string>& args, Console& console) {
  if (args.empty()) {
    PrintOverview(console.err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(console.out);
    return kExitOk;
  }
  if (args[0] == "--version") {
    console.out << "velmorctl " << VELMOR_VERSION << "\n";
    return kExitOk;
  }
  for (const Command& c : Commands()) {
    if (args[0] != c.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    try {
      return c.run(rest, console);
    } catch (const UsageError& e) {
      console.err << "velmorctl " << c.name << ": " << e.what() << "\n"
                  << "Hilfe: velmorctl " << c.name << " --help\n";
      return kExitUsage;
    } catch (const VelmorError& e) {
      console.err << "velmorctl " << c.name << ": " << e.what() << "\n";
      return kExitFailed;
    } catch (const std::exception& e) {
      console.err << "velmorctl " << c.name << ": Fehler: " << e.what() << "\n";
      return kExitFailed;
    }
  }
  console.err << "velmorctl: unbekannter Befehl: " << args[0] << "\nHilfe: velmorctl --help\n";
  return kExitUsage;
}

}  // namespace velmor::cli
