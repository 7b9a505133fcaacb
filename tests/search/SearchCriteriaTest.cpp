#include "search/SearchCriteria.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/Texts.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

using testing::CaseRows;

TEST(WildcardMatch, CaseTable) {
  for (const auto& row : CaseRows("search/wildcard.tsv", 3))
    EXPECT_EQ(WildcardMatch(row[0], row[1]), row[2] == "yes") << row[0] << " / " << row[1];
}

TEST(ExcludedEntryMatch, CaseTable) {
  for (const auto& row : CaseRows("search/exclusions.tsv", 4))
    EXPECT_EQ(ExcludedEntryMatch(row[0], row[1], row[2]), row[3] == "yes")
        << row[0] << row[1] << " / " << row[2];
}

TEST(AttributeCriteria, DefaultsPassFilesOnly) {
  TAttributeCriteria c;
  EXPECT_TRUE(c.Matches(0x01 | 0x02 | 0x04 | 0x20));
  EXPECT_TRUE(c.Matches(0x80));
  EXPECT_FALSE(c.Matches(0x10));
  EXPECT_TRUE(c.OnlyFolderBitMatters());
  c.ExactMatch = true;
  EXPECT_FALSE(c.OnlyFolderBitMatters());
  EXPECT_TRUE(c.Matches(0x27 | 0x80));
  EXPECT_FALSE(c.Matches(0x20));
  c.ExactMatch = false;
  c.SetAttributes(ffArchive | ffDirectory | 0x400);
  EXPECT_EQ(c.Attributes(), uint32_t{0x30});
  EXPECT_TRUE(c.Matches(0x10));
  EXPECT_FALSE(c.Matches(0x21));
  EXPECT_FALSE(c.OnlyFolderBitMatters());
}

TEST(SizeCriteria, InclusiveUnsigned32BitBounds) {
  TSizeCriteria c;
  EXPECT_TRUE(c.Matches(0));
  c.Min = 100;
  c.Max = 100;
  EXPECT_TRUE(c.Matches(100));
  EXPECT_FALSE(c.Matches(99));
  EXPECT_FALSE(c.Matches(101));
  // Only the low 32 bits count.
  EXPECT_TRUE(c.Matches((uint64_t{1} << 32) + 100));
}

// A local date-time as a file time, through the same local-time rules the test uses.
platform::FileTime LocalFileTime(int year, int month, int day, int hour, int minute) {
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_isdst = -1;
  const time_t unix = mktime(&t);
  return static_cast<platform::FileTime>(unix) * 10000000ULL + 116444736000000000ULL;
}

TEST(DateTimeCriteria, WholeDayTimeOfDayAndFullBounds) {
  // 2024-03-15 is day 45366 after 1899-12-30.
  const double day = 45366;
  const std::pair<const char*, platform::FileTime> times[] = {
      {"14. 23:59", LocalFileTime(2024, 3, 14, 23, 59)},
      {"15. 8:00", LocalFileTime(2024, 3, 15, 8, 0)},
      {"15. 23:00", LocalFileTime(2024, 3, 15, 23, 0)},
      {"2001 9:00", LocalFileTime(2001, 1, 1, 9, 0)}};
  TDateTimeCriteria c;
  // The last-write times that pass.
  auto passing = [&] {
    std::string text;
    for (const auto& [name, time] : times)
      if (c.Matches(0, time, 0)) text += std::string(name) + "; ";
    return text;
  };
  EXPECT_TRUE(c.Matches(0, 0, 0));
  EXPECT_EQ(passing(), "14. 23:59; 15. 8:00; 15. 23:00; 2001 9:00; ");
  c.ModifiedAfter = day;  // a date without time: the whole day counts
  EXPECT_EQ(passing(), "15. 8:00; 15. 23:00; ");
  c.ModifiedAfter = 0;
  c.ModifiedBefore = 0.5;  // time of day only: before noon on any day
  EXPECT_EQ(passing(), "15. 8:00; 2001 9:00; ");
  c.ModifiedBefore = day + 0.5;  // the full value
  EXPECT_EQ(passing(), "14. 23:59; 15. 8:00; 2001 9:00; ");
  c.ModifiedBefore = 0;
  c.CreatedAfter = day;  // the creation pair is checked first and rejects on its own
  EXPECT_FALSE(c.Matches(times[0].second, times[1].second, times[1].second));
}

class ContentFiles : public ::testing::Test {
 protected:
  testing::TempPrefix prefix;
};

TEST_F(ContentFiles, FindsPhraseAnywhereAlsoAcrossBlocks) {
  const std::string phrase = "klemmenleiste";
  std::string big(61440 * 2 + 100, 'x');
  // Straddles the first and second read block.
  big.replace(61440 - 5, phrase.size(), "KLEMMENLEISTE");
  prefix.WriteFile("drive_c/T/STRADDLE.TXT", big);
  std::string late(61440 * 3, 'y');
  late.replace(late.size() - phrase.size(), phrase.size(), phrase);
  prefix.WriteFile("drive_c/T/END.TXT", late);
  prefix.WriteFile("drive_c/T/NONE.TXT", std::string(61440 * 2, 'k'));
  prefix.WriteFile("drive_c/T/SHORT.TXT", "klemme");
  prefix.WriteFile("drive_c/T/ANSI.TXT", std::string("Die Kl\xe4rung"));

  TContentCriteria c;
  // The entries of C:\T that pass, a folder (which cannot be read: no match, no error) and a missing
  // file among them.
  auto passing = [&c] {
    std::string names;
    for (const std::string name :
         {"STRADDLE.TXT", "END.TXT", "NONE.TXT", "SHORT.TXT", "ANSI.TXT", "MISSING.TXT", ""})
      if (c.Matches(platform::HostPlatform(), "C:\\T\\" + name))
        names += (name.empty() ? "(folder)" : name) + " ";
    return names;
  };
  EXPECT_EQ(passing(),
            "STRADDLE.TXT END.TXT NONE.TXT SHORT.TXT ANSI.TXT MISSING.TXT (folder) ");  // no phrase
  c.SetPhrase("KlemmenLeiste Ä");
  EXPECT_EQ(c.SearchPhrase(), "klemmenleiste Ä");  // only A to Z fold
  c.SetPhrase(phrase);
  EXPECT_EQ(passing(), "STRADDLE.TXT END.TXT ");
  c.SetIgnoreCase(false);
  EXPECT_EQ(passing(), "END.TXT ");
  c.SetPhrase("KLÄRUNG");  // ANSI file, case folded on both sides
  c.SetIgnoreCase(true);
  EXPECT_EQ(passing(), "ANSI.TXT ");
}

TEST_F(ContentFiles, FindsPhraseAtEveryOffsetAmongLookalikes) {
  // Filler made of the phrase's first letter in both cases keeps the quick pre-check busy; the
  // phrase is then placed at every offset around the 32-byte chunks and at the very end.
  TContentCriteria c;
  for (const std::string phrase : {"klemmenleiste", "#42-k", "\xc4nderung"}) {
    c.SetPhrase(phrase);
    for (size_t at = 0; at + phrase.size() <= 100; ++at) {
      std::string text(100, at % 2 ? 'K' : 'k');
      std::string placed = phrase;
      for (size_t k = 0; k < placed.size(); k += 2) placed[k] = static_cast<char>(std::toupper(placed[k]));
      text.replace(at, placed.size(), placed);
      prefix.WriteFile("drive_c/T/AT.TXT", text);
      EXPECT_TRUE(c.Matches(platform::HostPlatform(), "C:\\T\\AT.TXT")) << phrase << " at " << at;
    }
    prefix.WriteFile("drive_c/T/AT.TXT", std::string(100, 'k') + phrase.substr(0, phrase.size() - 1));
    EXPECT_FALSE(c.Matches(platform::HostPlatform(), "C:\\T\\AT.TXT")) << phrase << " cut short";
  }
}

}  // namespace
}  // namespace velmor
