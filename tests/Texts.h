// The texts that the window and velmorctl show in the tests, kept together in tests/texts.txt so that
// they are read, reviewed and changed in one place. An entry starts with a line "== name"; its text is
// every line up to the next entry, each with its line break, and a carriage return written as "␍":
//
//   EXPECT_EQ(Shown(Velmorctl({"env"})), Text("velmorctl env"));
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

namespace velmor::testing {

inline std::string Text(const std::string& name) {
  static const std::map<std::string, std::string> entries = [] {
    std::map<std::string, std::string> read;
    std::ifstream in(VELMOR_TEXTS_FILE);
    std::string* entry = nullptr;
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("== ")) {
        entry = &read[line.substr(3)];
      } else if (entry != nullptr) {
        for (size_t at; (at = line.find("␍")) != std::string::npos;) line.replace(at, 3, "\r");
        *entry += line + "\n";
      }
    }
    return read;
  }();
  const auto found = entries.find(name);
  if (found != entries.end()) return found->second;
  ADD_FAILURE() << "no text \"" << name << "\" in " << VELMOR_TEXTS_FILE;
  return "(missing text " + name + ")";
}

}  // namespace velmor::testing
