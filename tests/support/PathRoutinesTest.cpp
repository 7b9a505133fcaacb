#include "support/PathRoutines.h"

#include <gtest/gtest.h>

#include "tests/Texts.h"

namespace velmor {
namespace {

TEST(PathRoutinesTest, CaseTable) {
  for (const auto& row : testing::CaseRows("support/path-routines.tsv", 5)) {
    const std::string& function = row[0];
    const std::string& text = row[1];
    std::string result = "no function " + function;
    if (function == "AppendBackslash") result = AppendBackslash(text);
    if (function == "StripBackslash") result = StripBackslash(text);
    if (function == "PathPart") result = PathPart(text, std::stoi(row[2]), std::stoi(row[3]));
    if (function == "FieldAt") result = FieldAt(row[2].at(0), text, std::stoi(row[3]));
    if (function == "TrimControlTail") result = TrimControlTail(text);
    EXPECT_EQ(result, row[4]) << function << "(" << text << ", " << row[2] << ", " << row[3] << ")";
  }
}

}  // namespace
}  // namespace velmor
