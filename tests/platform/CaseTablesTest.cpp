// The Windows-behaviour case tables that CI also holds against Wine (tools/winecheck/cases), answered
// here by the platform layer alone in the same fixture folders: every case must give the expected
// answer its table names.
#include <cstdlib>
#include <sstream>

#include "tests/platform/PlatformTestUtil.h"
#include "tools/winecheck/Cases.h"

namespace velmor::platform {
namespace {

class CaseTable : public PlatformTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaseTable, EveryCaseGivesItsExpectedAnswer) {
  const std::string tools = VELMOR_WINECHECK_DIR;
  ASSERT_EQ(std::system(("bash '" + tools + "/fixture.sh' '" + prefix.Root() + "'").c_str()), 0);
  std::vector<winecheck::Case> cases;
  std::ostringstream errors;
  ASSERT_TRUE(winecheck::ReadTables({tools + "/cases/" + GetParam() + ".tsv"}, cases, errors))
      << errors.str();
  ASSERT_FALSE(cases.empty());
  for (const winecheck::Case& c : cases)
    EXPECT_EQ(winecheck::Answer(os, c), c.expected) << c.table << ": " << winecheck::Request(c);
}

INSTANTIATE_TEST_SUITE_P(Tables, CaseTable, ::testing::Values("find", "full", "get", "set"),
                         [](const auto& table) { return std::string(table.param); });

}  // namespace
}  // namespace velmor::platform
