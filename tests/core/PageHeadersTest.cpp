#include "core/PageHeaders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

std::string Numbered(size_t from, size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += static_cast<char>(from + i);
  return s;
}

TEST(SplitPageHeaderTest, ShortSourceIsPaddedWithZeros) {
  const auto parts = SplitPageHeader(Numbered(1, 60));
  EXPECT_EQ(parts[0], Numbered(1, 45));
  EXPECT_EQ(parts[1], Numbered(55, 6) + std::string(19, '\0'));
  EXPECT_EQ(parts[2], std::string(178, '\0'));
}

TEST(BuildHeadersTest, ReplacesTheTargetsAndKeepsWhatCannotBeWritten) {
  testing::TempPrefix prefix;
  auto headers = [&] {
    std::string text;
    for (const char* name : {"drive_d/SH1", "drive_d/SH2", "drive_d/SH3"})
      text += prefix.ReadFile(name).value_or("(fehlt)") + "|";
    return text;
  };
  // Without SEITEN.SPL nothing is written: velmorctl's HeadersSplitsOrSaysWhyNot.
  prefix.WriteFile("drive_d/SEITEN.SPL", Numbered(0, 256) + std::string(1000, 'z'));
  for (const char* name : {"drive_d/SH1", "drive_d/SH2", "drive_d/SH3"})
    prefix.WriteFile(name, std::string(5000, 'o'));
  // Old headers that were hidden or system files are replaced by ordinary ones.
  platform::IPlatform& os = platform::HostPlatform();
  ASSERT_TRUE(os.SetFileAttributes("D:\\SH1", platform::kAttrHidden | platform::kAttrSystem));
  ASSERT_TRUE(os.SetFileAttributes("D:\\SH3", platform::kAttrHidden));
  ASSERT_EQ(BuildHeaders(platform::HostPlatform()), HeaderResult::Done);
  EXPECT_EQ(headers(), Numbered(0, 45) + "|" + Numbered(54, 25) + "|" + Numbered(78, 178) + "|");
  for (const char* name : {"D:\\SH1", "D:\\SH2", "D:\\SH3"})
    EXPECT_EQ(os.GetFileAttributes(name), platform::kAttrArchive);

  // A write-protected SH2 keeps its content; SH3 is still written, so it never lags behind SH1.
  prefix.WriteFile("drive_d/SEITEN.SPL", Numbered(10, 256));
  prefix.WriteFile("drive_d/SH2", "alt");
  ASSERT_EQ(chmod(prefix.Abs("drive_d/SH2").c_str(), 0444), 0);
  EXPECT_EQ(BuildHeaders(platform::HostPlatform()), HeaderResult::TargetFailed);
  EXPECT_EQ(headers(), Numbered(10, 45) + "|alt|" + Numbered(88, 178) + "|");
}

}  // namespace
}  // namespace velmor
