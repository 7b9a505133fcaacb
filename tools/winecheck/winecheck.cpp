// The Linux side of the differential check against Wine.
//
// The case tables (one file per kind of request: find.tsv, full.tsv, get.tsv, set.tsv) name each
// case, its arguments and the verdict it must keep: "same" (our answer equals Wine's) or "differs"
// (our answer is the expected one given in the table, and Wine's is another; the table says why).
//
//   winecheck requests TABLE...            the request lines for the Windows probe, one per case
//   winecheck check WINE-ANSWERS TABLE...  answers every case with the platform layer and holds the
//                                          answers against Wine's and the verdicts; exit 1 when a
//                                          verdict does not hold
//
// Requests and answers are tab-separated lines in the probe's form: %HH escapes any byte, %N stands
// for a missing argument, and answers escape every byte below 0x21 or from 0x7F on, "%" and "|".
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

using velmor::platform::IPlatform;

struct Kind {
  const char* name;  // the request and the table's file name
  size_t arguments;
};
constexpr Kind kKinds[] = {{"find", 1}, {"full", 2}, {"get", 5}, {"set", 5}};

struct Case {
  std::string table;  // file:line, for messages
  std::string kind;
  std::string id;
  std::vector<std::string> arguments;  // as written in the table (escaped)
  bool same = true;
  std::string expected;  // our expected answer (escaped); required for "differs"
  std::string reason;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A table or request field: nullopt for %N, else the text with %HH decoded.
std::optional<std::string> Unescape(const std::string& field) {
  if (field == "%N") return std::nullopt;
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 &&
        HexValue(field[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2])));
      i += 2;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::string Escape(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == '%' || c == '|' || c >= 0x7f) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

const Kind* KindOfTable(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
  for (const Kind& kind : kKinds)
    if (base == std::string(kind.name) + ".tsv") return &kind;
  return nullptr;
}

bool ReadTables(int argc, char** argv, int first, std::vector<Case>& cases) {
  std::map<std::string, std::string> seen;
  bool ok = true;
  for (int a = first; a < argc; ++a) {
    const std::string path = argv[a];
    const Kind* kind = KindOfTable(path);
    std::ifstream in(path);
    if (!kind || !in) {
      std::cerr << path << ": not a case table (find.tsv, full.tsv, get.tsv or set.tsv)\n";
      return false;
    }
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
      if (line.empty() || line[0] == '#') continue;
      const std::vector<std::string> fields = SplitTabs(line);
      const std::string where = path + ":" + std::to_string(number);
      Case c;
      c.table = where;
      c.kind = kind->name;
      if (fields.size() < kind->arguments + 2) {
        std::cerr << where << ": expected id, " << kind->arguments << " arguments and a verdict\n";
        ok = false;
        continue;
      }
      c.id = fields[0];
      c.arguments.assign(fields.begin() + 1, fields.begin() + 1 + static_cast<long>(kind->arguments));
      const std::string& verdict = fields[kind->arguments + 1];
      c.same = verdict == "same";
      if (fields.size() > kind->arguments + 2) c.expected = fields[kind->arguments + 2];
      if (fields.size() > kind->arguments + 3) c.reason = fields[kind->arguments + 3];
      if (!c.same && (verdict != "differs" || c.expected.empty() || c.reason.empty())) {
        std::cerr << where
                  << ": the verdict is \"same\", or \"differs\" with our expected answer and a reason\n";
        ok = false;
      }
      if (!seen.emplace(c.id, where).second) {
        std::cerr << where << ": case " << c.id << " already named at " << seen[c.id] << "\n";
        ok = false;
      }
      cases.push_back(std::move(c));
    }
  }
  return ok;
}

// --- our answers ------------------------------------------------------------------------------------

std::string AnswerFind(IPlatform& os, const std::vector<std::optional<std::string>>& a) {
  const auto found = os.FindFiles(a[0].value_or(""), 0x37);
  if (found.empty()) return "!" + std::to_string(os.LastError());
  std::string out;
  for (const auto& entry : found) {
    if (!out.empty()) out += '|';
    out += Escape(entry.name);
    if (entry.attributes & velmor::platform::kAttrDirectory) out += '\\';
  }
  return out;
}

std::string AnswerFull(IPlatform& os, const std::vector<std::optional<std::string>>& a) {
  if (!os.SetCurrentDirectory(a[0].value_or(""))) return "!cwd";
  const auto full = os.FullPath(a[1].value_or(""));
  return full ? Escape(*full) : "!";
}

std::string AnswerGet(IPlatform& os, const std::vector<std::optional<std::string>>& a) {
  const size_t size = static_cast<size_t>(std::stoul(a[4].value_or("0")));
  return Escape(os.GetPrivateProfileString(a[1].value_or(""), a[2].value_or(""), a[3].value_or(""),
                                           a[0].value_or(""), size));
}

std::string AnswerSet(IPlatform& os, const std::vector<std::optional<std::string>>& a) {
  if (a[0]) os.CopyFile(*a[0], a[1].value_or(""), false);
  const bool ok = os.WritePrivateProfileString(
      a[2].value_or(""), a[3] ? std::optional<std::string_view>(*a[3]) : std::nullopt,
      a[4] ? std::optional<std::string_view>(*a[4]) : std::nullopt, a[1].value_or(""));
  std::string file = a[1].value_or("");
  if (file.find('\\') == std::string::npos) file = os.WindowsDirectory() + "\\" + file;
  const auto content = os.ReadFile(file);
  return std::string(ok ? "1|" : "0|") + (content ? Escape(*content) : "!missing");
}

std::string Answer(IPlatform& os, const Case& c) {
  std::vector<std::optional<std::string>> a;
  for (const std::string& field : c.arguments) a.push_back(Unescape(field));
  if (c.kind == "find") return AnswerFind(os, a);
  if (c.kind == "full") return AnswerFull(os, a);
  if (c.kind == "get") return AnswerGet(os, a);
  return AnswerSet(os, a);
}

int Requests(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::cout << c.kind << '\t' << c.id;
    for (const std::string& field : c.arguments) std::cout << '\t' << field;
    std::cout << '\n';
  }
  return 0;
}

int Check(const std::string& wineAnswers, const std::vector<Case>& cases) {
  std::map<std::string, std::string> wine;
  std::ifstream in(wineAnswers);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) wine[line.substr(0, tab)] = line.substr(tab + 1);
  }
  IPlatform& os = velmor::platform::HostPlatform();
  size_t same = 0, differs = 0, failed = 0;
  for (const Case& c : cases) {
    const std::string ours = Answer(os, c);
    const auto it = wine.find(c.id);
    std::string problem;
    if (it == wine.end()) {
      problem = "Wine gave no answer";
    } else if (c.same) {
      if (ours != it->second)
        problem = "expected the same as Wine";
      else if (!c.expected.empty() && ours != c.expected)
        problem = "both differ from the table's expected answer";
    } else if (ours != c.expected) {
      problem = "our answer is not the expected one";
    } else if (ours == it->second) {
      problem = "Wine now gives the same answer: the difference is gone";
    }
    if (problem.empty()) {
      ++(c.same ? same : differs);
      continue;
    }
    ++failed;
    std::cout << "FAIL " << c.id << " (" << c.table << "): " << problem << "\n  request:  " << c.kind;
    for (const std::string& field : c.arguments) std::cout << "  " << field;
    std::cout << "\n  ours:     " << ours << "\n  wine:     " << (it == wine.end() ? "-" : it->second);
    if (!c.expected.empty()) std::cout << "\n  expected: " << c.expected;
    std::cout << "\n";
  }
  std::cout << "winecheck: " << cases.size() << " cases, " << same << " same as Wine, " << differs
            << " deliberate differences, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::vector<Case> cases;
  if (mode == "requests" && argc > 2) {
    if (!ReadTables(argc, argv, 2, cases)) return 2;
    return Requests(cases);
  }
  if (mode == "check" && argc > 3) {
    if (!ReadTables(argc, argv, 3, cases)) return 2;
    return Check(argv[2], cases);
  }
  std::cerr << "usage: winecheck requests TABLE... | winecheck check WINE-ANSWERS TABLE...\n";
  return 2;
}
