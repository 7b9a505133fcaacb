#include "tools/winecheck/Cases.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>

namespace velmor::winecheck {
namespace {

using platform::IPlatform;

struct Kind {
  const char* name;  // the request and the table's file name
  size_t arguments;
};
constexpr Kind kKinds[] = {{"find", 1}, {"full", 2}, {"get", 5}, {"set", 5}};

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

// A table field: nullopt for %N, else the text with %HH decoded.
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

std::string AnswerFind(IPlatform& os, const std::vector<std::optional<std::string>>& a) {
  const auto found = os.FindFiles(a[0].value_or(""), 0x37);
  if (found.empty()) return "!" + std::to_string(velmor::platform::LastError());
  std::string out;
  for (const auto& entry : found) {
    if (!out.empty()) out += '|';
    out += Escape(entry.name);
    if (entry.attributes & platform::kAttrDirectory) out += '\\';
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

}  // namespace

bool ReadTables(const std::vector<std::string>& paths, std::vector<Case>& cases, std::ostream& errors) {
  std::map<std::string, std::string> seen;
  bool ok = true;
  for (const std::string& path : paths) {
    const Kind* kind = KindOfTable(path);
    std::ifstream in(path);
    if (!kind || !in) {
      errors << path << ": not a case table (find.tsv, full.tsv, get.tsv or set.tsv)\n";
      return false;
    }
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
      if (line.empty() || line[0] == '#') continue;
      const std::vector<std::string> fields = SplitTabs(line);
      const std::string where = path + ":" + std::to_string(number);
      // id, the arguments, the verdict, the expected answer and, for "differs" only, the reason.
      const size_t verdict = kind->arguments + 1;
      const bool same = fields.size() > verdict && fields[verdict] == "same";
      const bool differs = fields.size() > verdict && fields[verdict] == "differs";
      if (!(same && fields.size() == verdict + 2) &&
          !(differs && fields.size() == verdict + 3 && !fields[verdict + 2].empty())) {
        errors
            << where << ": expected id, " << kind->arguments
            << " arguments, the verdict \"same\" and our answer, or \"differs\", our answer and a reason\n";
        ok = false;
        continue;
      }
      Case c;
      c.table = where;
      c.kind = kind->name;
      c.id = fields[0];
      c.arguments.assign(fields.begin() + 1, fields.begin() + static_cast<long>(verdict));
      c.same = same;
      c.expected = fields[verdict + 1];
      if (differs) c.reason = fields[verdict + 2];
      if (!seen.emplace(c.id, where).second) {
        errors << where << ": case " << c.id << " already named at " << seen[c.id] << "\n";
        ok = false;
      }
      cases.push_back(std::move(c));
    }
  }
  return ok;
}

std::string Request(const Case& c) {
  std::string line = c.kind + '\t' + c.id;
  for (const std::string& field : c.arguments) line += '\t' + field;
  return line;
}

std::string Answer(IPlatform& os, const Case& c) {
  std::vector<std::optional<std::string>> a;
  for (const std::string& field : c.arguments) a.push_back(Unescape(field));
  if (c.kind == "find") return AnswerFind(os, a);
  if (c.kind == "full") return AnswerFull(os, a);
  if (c.kind == "get") return AnswerGet(os, a);
  return AnswerSet(os, a);
}

}  // namespace velmor::winecheck
