#include "support/TovrelUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/Texts.h"

namespace velmor {
namespace {

using Items = std::vector<std::string>;

TEST(TPartStringListTest, SplitsByTheRules) {
  for (const auto& row : testing::CaseRows("support/split.tsv", 4)) {
    TPartStringList list;
    list.Delimiter = row[1].at(0);
    list.FieldDelimiter = row[2].at(0);
    list.SetTextToSeparate("old,items");
    list.SetTextToSeparate(row[0]);
    const Items expected = row[3].empty() ? Items{""} : testing::ListField(row[3]);
    EXPECT_EQ(list.Items(), expected) << row[0];
  }
}

TEST(TQxstringlistTest, LinesIndexesAndTheWalkingCursor) {
  TQxstringlist list;
  std::string s = "before";
  int index = 7;
  EXPECT_FALSE(list.GetFirst(s, index));
  EXPECT_FALSE(list.GetNext(s, index));
  EXPECT_EQ(s + std::to_string(index), "before7");
  EXPECT_THROW(list[0], std::out_of_range);

  list.SetText("a\r\nb\n\rc\r");  // LF CR is two line breaks
  EXPECT_EQ(list.Text(), "a\r\nb\r\n\r\nc\r\n");
  EXPECT_THROW(list[-1], std::out_of_range);
  std::string walk;
  for (bool ok = list.GetFirst(s, index); ok; ok = list.GetNext(s, index)) walk += s + std::to_string(index);
  EXPECT_EQ(walk, "a0b12c3");
  EXPECT_EQ(s + std::to_string(index), "c3");  // the failed GetNext changed nothing
  // The cursor survives changes of the items; only GetFirst resets it.
  list.Add("d");
  ASSERT_TRUE(list.GetNext(s, index));
  EXPECT_EQ(s + std::to_string(index), "d4");
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.GetNext(s, index));
}

}  // namespace
}  // namespace velmor
