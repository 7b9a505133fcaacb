#include "support/TovrelUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmor {
namespace {

using Items = std::vector<std::string>;

Items Split(std::string_view text, char delimiter = ',', char quote = '"') {
  TPartStringList list;
  list.Delimiter = delimiter;
  list.FieldDelimiter = quote;
  list.SetTextToSeparate("old,items");
  list.SetTextToSeparate(text);
  return list.Items();
}

TEST(TPartStringListTest, SplitsByTheRules) {
  EXPECT_EQ(Split(""), Items{""});
  EXPECT_EQ(Split("A.ASC,,B.ASC,", ',', '\0'), (Items{"A.ASC", "", "B.ASC", ""}));
  EXPECT_EQ(Split("\"AB CD\",EF,,\"G,H\""), (Items{"AB CD", "EF", "", "G,H"}));
  EXPECT_EQ(Split("x\"a,b\"y,c"), (Items{"xa,by", "c"}));
  EXPECT_EQ(Split("a\"\"b"), Items{"a\"b"});              // QQ outside a stretch is one quote
  EXPECT_EQ(Split("\"a\"\"b\""), Items{"ab"});            // QQ inside a stretch adds nothing
  EXPECT_EQ(Split("a,\"\",b"), (Items{"a", "\"", "b"}));  // an empty quoted field
  EXPECT_EQ(Split("a,\"b,c"), (Items{"a", "b,c"}));       // an open stretch runs to the end
  EXPECT_EQ(Split("ab\""), Items{"ab"});
  EXPECT_EQ(Split("\"x\",y", ',', '\0'), (Items{"\"x\"", "y"}));
  EXPECT_EQ(Split(std::string_view("a,b\0c,d", 7)), (Items{"a", "b"}));
  EXPECT_EQ(Split("a,b,c", ',', ','), Items{"abc"});  // a quote equal to the separator quotes
  EXPECT_EQ(Split("\xC3\xA4;\xBA", ';'), (Items{"\xC3\xA4", "\xBA"}));
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
