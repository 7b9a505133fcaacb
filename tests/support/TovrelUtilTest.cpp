#include "support/TovrelUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmor {
namespace {

using Items = std::vector<std::string>;

struct SplitRow {
  const char* name;
  char delimiter;
  char quote;
  std::string text;
  Items items;
};

// Q stands for the double quote in the row names.
TEST(TPartStringListTest, SplitsByTheRules) {
  const std::vector<SplitRow> rows = {
      {"path", '\\', '"', "C:\\EPLAN5\\BIN", {"C:", "EPLAN5", "BIN"}},
      {"path with trailing backslash", '\\', '"', "C:\\EPLAN5\\BIN\\", {"C:", "EPLAN5", "BIN", ""}},
      {"empty text is one empty item", ',', '"', "", {""}},
      {"symbol list", ',', '\0', "A.ASC,B.ASC", {"A.ASC", "B.ASC"}},
      {"symbol list with empty items", ',', '\0', "A.ASC,,B.ASC,", {"A.ASC", "", "B.ASC", ""}},
      {"quoted comma list", ',', '"', "\"AB CD\",EF,,\"G,H\"", {"AB CD", "EF", "", "G,H"}},
      {"leading separator", ',', '"', ",a", {"", "a"}},
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
  for (const SplitRow& row : rows) {
    SCOPED_TRACE(row.name);
    TPartStringList list;
    list.Delimiter = row.delimiter;
    list.FieldDelimiter = row.quote;
    list.SetTextToSeparate(row.text);
    EXPECT_EQ(list.Items(), row.items);
  }
}

TEST(TPartStringListTest, DefaultsAndReplacingWrites) {
  TPartStringList list;
  EXPECT_EQ(list.Delimiter, ';');
  EXPECT_EQ(list.FieldDelimiter, '"');
  EXPECT_EQ(list.Count(), 0);
  list.SetCsvText("a;b;c");
  list.SetCsvText("x");
  EXPECT_EQ(list.Items(), Items{"x"});
  // Changing the delimiter later does not re-split what is there.
  list.Delimiter = ',';
  EXPECT_EQ(list.Items(), Items{"x"});
}

TEST(TPartStringListTest, JoinsItems) {
  TPartStringList list;
  list.Delimiter = ',';
  EXPECT_EQ(list.TextToSeparate(), "");
  EXPECT_EQ(list.CsvText(), "");

  list.SetCsvText("");
  EXPECT_EQ(list.TextToSeparate(), "");
  EXPECT_EQ(list.CsvText(), "\"\"");
  list.FieldDelimiter = '\0';
  EXPECT_EQ(list.CsvText(), "");

  list.Clear();
  list.Add("a\"b");
  list.Add("c,d");
  list.FieldDelimiter = '"';
  EXPECT_EQ(list.TextToSeparate(), "a\"b,c,d");
  EXPECT_EQ(list.CsvText(), "\"a\"b\",\"c,d\"");  // nothing escaped inside an item
}

TEST(TPartStringListTest, RoundTrips) {
  TPartStringList list;
  list.Delimiter = ',';
  list.Add("one");
  list.Add("two words");
  list.Add("");
  TPartStringList back;
  back.Delimiter = ',';
  back.SetTextToSeparate(list.TextToSeparate());
  EXPECT_EQ(back.Items(), list.Items());

  // CsvText brings an empty item back as one quote character.
  back.SetCsvText(list.CsvText());
  EXPECT_EQ(back.Items(), (Items{"one", "two words", "\""}));

  TPartStringList empty;
  back.SetCsvText(empty.CsvText());
  EXPECT_EQ(back.Items(), Items{""});
}

TEST(TQxstringlistTest, SetTextSplitsEveryLineBreakKind) {
  struct Row {
    const char* name;
    std::string text;
    Items items;
  };
  const std::vector<Row> rows = {
      {"empty", "", {}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"LF and CR", "a\nb\rc", {"a", "b", "c"}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"empty lines kept", "\r\n\r\nx", {"", "", "x"}},
      {"only a break", "\n", {""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TQxstringlist list;
    list.Add("old");
    list.SetText(row.text);
    EXPECT_EQ(list.Items(), row.items);
  }
  TQxstringlist list;
  list.SetText("a\nb");
  EXPECT_EQ(list.Text(), "a\r\nb\r\n");
}

TEST(TQxstringlistTest, IndexOutsideTheListThrows) {
  TQxstringlist list;
  EXPECT_THROW(list[0], std::out_of_range);
  list.Add("a");
  EXPECT_EQ(list.Strings(0), "a");
  EXPECT_THROW(list.Strings(1), std::out_of_range);
  EXPECT_THROW(list[-1], std::out_of_range);
  list[0] = "b";
  EXPECT_EQ(list[0], "b");
}

TEST(TQxstringlistTest, WalksWithTheCursor) {
  TQxstringlist list;
  std::string s = "before";
  int index = 7;
  EXPECT_FALSE(list.GetFirst(s, index));
  EXPECT_FALSE(list.GetNext(s, index));
  EXPECT_EQ(s, "before");
  EXPECT_EQ(index, 7);
  EXPECT_EQ(list.Cursor, 0);

  list.Add("first");  // a new list walks from item 0 even without GetFirst
  ASSERT_TRUE(list.GetNext(s, index));
  EXPECT_EQ(s, "first");

  list.SetText("a\nb\nc");
  std::vector<std::pair<std::string, int>> seen;
  for (bool ok = list.GetFirst(s, index); ok; ok = list.GetNext(s, index)) seen.emplace_back(s, index);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"a", 0}, {"b", 1}, {"c", 2}}));
  EXPECT_EQ(s, "c");  // the failed GetNext left the last item in place
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.Cursor, 3);

  // The cursor survives changes of the items; only GetFirst resets it.
  list.Add("d");
  ASSERT_TRUE(list.GetNext(s, index));
  EXPECT_EQ(s, "d");
  list.Clear();
  EXPECT_FALSE(list.GetNext(s, index));
  EXPECT_EQ(list.Cursor, 4);
}

}  // namespace
}  // namespace velmor
