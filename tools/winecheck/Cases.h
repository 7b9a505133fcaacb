// The case tables of the check against Wine (cases/find.tsv, full.tsv, get.tsv, set.tsv): reading
// them and answering a case through the platform layer. The winecheck tool holds these answers
// against Wine's and the verdicts; the test suite holds them against the tables' expected answers,
// offline, in the folders of fixture.sh.
//
// A table line is: id, the arguments of its kind, the verdict ("same" or "differs"), our expected
// answer, and for "differs" the reason. Fields are tab-separated; %HH escapes any byte, %N stands for
// a missing argument. Answers escape every byte below 0x21 or from 0x7F on, "%" and "|".
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace velmor::winecheck {

struct Case {
  std::string table;  // file:line, for messages
  std::string kind;   // find, full, get or set: the table's file name
  std::string id;
  std::vector<std::string> arguments;  // as written in the table (escaped)
  bool same = true;                    // the verdict: our answer equals Wine's
  std::string expected;                // our expected answer (escaped)
  std::string reason;                  // why we differ from Wine ("differs" only)
};

// Appends the cases of the tables to `cases`. A file that is no case table, a malformed line and an
// id named twice are reported on `errors`, one line each; the result is false then.
bool ReadTables(const std::vector<std::string>& paths, std::vector<Case>& cases, std::ostream& errors);

// The case as a request line for the Windows probe: kind, id and the arguments, tab-separated.
std::string Request(const Case& c);

// Our answer to the case, escaped as the tables write it. Works in the current Windows world of
// `os` (the prefix of WINEPREFIX) and may change its current folder and the fixture's INI files.
std::string Answer(platform::IPlatform& os, const Case& c);

}  // namespace velmor::winecheck
