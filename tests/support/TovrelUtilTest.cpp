#include "support/TovrelUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmor {
namespace {

using Items = std::vector<std::string>;

TEST(TPartStringListTest, SplitsByTheRules) {
  struct Row {
    const char* name;  // Q is the double quote
    char delimiter;
    char quote;
    std::string text;
    Items items;
  };
  const std::vector<Row> rows = {
      {"empty text is one empty item", ',', '"', "", {""}},
      {"symbol list keeps empty items", ',', '\0', "A.ASC,,B.ASC,", {"A.ASC", "", "B.ASC", ""}},
      {"quoted comma list", ',', '"', "\"AB CD\",EF,,\"G,H\"", {"AB CD", "EF", "", "G,H"}},
      {"single separator", ',', '"', ",", {"", ""}},
      {"text around quoted stretches", ',', '"', "x\"a,b\"y,c", {"xa,by", "c"}},
      {"QQ outside a stretch is one quote", ',', '"', "a\"\"b", {"a\"b"}},
      {"QQ inside a stretch adds nothing", ',', '"', "\"a\"\"b\"", {"ab"}},
      {"empty quoted field", ',', '"', "a,\"\",b", {"a", "\"", "b"}},
      {"unterminated stretch runs to the end", ',', '"', "a,\"b,c", {"a", "b,c"}},
      {"lone quote at the end is dropped", ',', '"', "ab\"", {"ab"}},
      {"quote 0 keeps double quotes", ',', '\0', "\"x\",y", {"\"x\"", "y"}},
      {"text ends at NUL", ',', '"', std::string("a,b\0c,d", 7), {"a", "b"}},
      {"quote equal to separator acts as quote", ',', ',', "a,b,c", {"abc"}},
      {"bytes above 127 are ordinary", ';', '"', "\xC3\xA4;\xBA", {"\xC3\xA4", "\xBA"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TPartStringList list;
    list.Delimiter = row.delimiter;
    list.FieldDelimiter = row.quote;
    list.SetTextToSeparate("old;items");
    list.SetTextToSeparate(row.text);
    EXPECT_EQ(list.Items(), row.items);
  }
}

TEST(TPartStringListTest, JoinsAndRoundTrips) {
  TPartStringList list;
  list.Delimiter = ',';
  EXPECT_EQ(list.CsvText(), "");
  list.SetCsvText("");
  EXPECT_EQ(list.TextToSeparate(), "");
  EXPECT_EQ(list.CsvText(), "\"\"");
  list.FieldDelimiter = '\0';
  EXPECT_EQ(list.CsvText(), "");

  list.FieldDelimiter = '"';
  list.SetCsvText("one,two words,\"\"");                      // the last item is one quote character
  EXPECT_EQ(list.CsvText(), "\"one\",\"two words\",\"\"\"");  // nothing escaped inside an item
  list.Clear();
  for (const char* item : {"one", "two words", ""}) list.Add(item);
  TPartStringList back;
  back.Delimiter = ',';
  back.SetTextToSeparate(list.TextToSeparate());
  EXPECT_EQ(back.Items(), list.Items());
  // CsvText brings an empty item back as one quote character.
  back.SetCsvText(list.CsvText());
  EXPECT_EQ(back.Items(), (Items{"one", "two words", "\""}));
}

TEST(TQxstringlistTest, LinesIndexesAndTheWalkingCursor) {
  struct Row {
    std::string text;
    Items items;
  };
  for (const Row& row : {Row{"", {}}, Row{"a\r\nb\r\n", {"a", "b"}}, Row{"a\nb\rc", {"a", "b", "c"}},
                         Row{"a\n\rb", {"a", "", "b"}}, Row{"\n", {""}}}) {
    TQxstringlist list;
    list.Add("old");
    list.SetText(row.text);
    EXPECT_EQ(list.Items(), row.items) << ::testing::PrintToString(row.text);
  }

  TQxstringlist list;
  std::string s = "before";
  int index = 7;
  EXPECT_FALSE(list.GetFirst(s, index));
  EXPECT_FALSE(list.GetNext(s, index));
  EXPECT_EQ(s + std::to_string(index), "before7");
  EXPECT_THROW(list[0], std::out_of_range);

  list.SetText("a\nb\nc");
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\n");
  EXPECT_THROW(list[-1], std::out_of_range);
  std::vector<std::pair<std::string, int>> seen;
  for (bool ok = list.GetFirst(s, index); ok; ok = list.GetNext(s, index)) seen.emplace_back(s, index);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"a", 0}, {"b", 1}, {"c", 2}}));
  EXPECT_EQ(s + std::to_string(index), "c2");  // the failed GetNext changed nothing
  // The cursor survives changes of the items; only GetFirst resets it.
  list.Add("d");
  ASSERT_TRUE(list.GetNext(s, index));
  EXPECT_EQ(s + std::to_string(index), "d3");
  list.Clear();
  EXPECT_FALSE(list.GetNext(s, index));
}

}  // namespace
}  // namespace velmor
