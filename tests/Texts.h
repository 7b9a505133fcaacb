// The texts that the window and velmorctl show in the tests, kept together in tests/texts.txt so that
// they are read, reviewed and changed in one place. An entry starts with a line "== name"; its text is
// every line up to the next entry, each with its line break, and a carriage return written as "␍":
//
//   EXPECT_EQ(Shown(Velmorctl({"journal"})), Text("velmorctl journal"));
//
// Beside them, the data the tests read from files next to them: tables of cases (CaseRows) and fixtures
// (TestDataPath).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace velmor::testing {

inline std::string Text(const std::string& name, const std::string& file = VELMOR_TEXTS_FILE) {
  static std::map<std::string, std::map<std::string, std::string>> files;
  if (!files.contains(file)) {
    std::map<std::string, std::string>& read = files[file];
    std::ifstream in(file);
    std::string* entry = nullptr;
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("== ")) {
        entry = &read[line.substr(3)];
      } else if (entry != nullptr) {
        for (size_t at; (at = line.find("␍")) != std::string::npos;) line.replace(at, 3, "\r");
        *entry += line + "\n";
      }
    }
  }
  const auto found = files[file].find(name);
  if (found != files[file].end()) return found->second;
  ADD_FAILURE() << "no text \"" << name << "\" in " << file;
  return "(missing text " + name + ")";
}

// The path of a data file kept beside the tests, named relative to tests/.
inline std::string TestDataPath(const std::string& name) {
  const std::string texts = VELMOR_TEXTS_FILE;
  return texts.substr(0, texts.rfind('/') + 1) + name;
}

// The rows of a case table kept as data beside the tests, named relative to tests/ ("search/wildcard.tsv"):
// one case a line, its `fields` apart by tabs; lines that begin with "#" are comments, and %HH stands for
// any byte (%09 a tab, %0D a carriage return, %00 a NUL, %25 a "%").
inline std::vector<std::vector<std::string>> CaseRows(const std::string& table, size_t fields) {
  std::ifstream in(TestDataPath(table));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("#")) continue;
    std::vector<std::string>& row = rows.emplace_back(1);
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        row.emplace_back();
      } else if (line[i] == '%' && i + 2 < line.size()) {
        row.back() += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        row.back() += line[i];
      }
    }
    EXPECT_EQ(row.size(), fields) << table << ": " << line;
    row.resize(fields);
  }
  EXPECT_FALSE(rows.empty()) << "no cases in " << table;
  return rows;
}

// A field of a case table that holds a list, its items apart by "|"; an empty field is no item.
inline std::vector<std::string> ListField(const std::string& field) {
  std::vector<std::string> items;
  for (size_t start = 0, end = 0; end != std::string::npos && !field.empty(); start = end + 1)
    items.push_back(field.substr(start, (end = field.find('|', start)) - start));
  return items;
}

}  // namespace velmor::testing
