#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/Texts.h"
#include "tests/common/TempPrefix.h"

namespace velmor::platform {
namespace {

using Names = std::vector<std::string>;

using testing::RegistryText;

// The text of a registry fixture beside the tests.
std::string DataFile(const std::string& name) {
  std::ifstream file(velmor::testing::TestDataPath(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

TEST(RegistryParse, StringValuesAndEscapes) {
  const RegistryFile reg = ParseRegistry(RegistryText(DataFile("platform/registry-strings.reg")));
  const std::string key = "Software\\EPLAN\\EPLAN 5\\5.40";
  for (const auto& row : velmor::testing::CaseRows("platform/registry-strings.tsv", 3)) {
    const std::optional<std::string> expected = row[1] == "string" ? std::optional(row[2]) : std::nullopt;
    EXPECT_EQ(reg.String(key, row[0]), expected) << row[0];
  }
  EXPECT_FALSE(reg.String("Software\\EPLAN", "EXEDIR"));
}

TEST(RegistryParse, KeyNamesEscapesAndIntermediateKeys) {
  // Sub-keys come in Wine's order, each with the spelling first seen.
  const RegistryFile reg = ParseRegistry(RegistryText(DataFile("platform/registry-keys.reg")));
  EXPECT_EQ(reg.String("Software\\Café\\a[1]b", "v"), "x");
  EXPECT_EQ(reg.String("SOFTWARE\\CAFÉ\\A[1]B", "V"), "x");
  EXPECT_EQ(reg.String("\\Software\\\\Deep\\Er\\Est\\", "v"), "deep");
  for (const char* key : {"Software", "software\\deep", "Software\\Deep\\Er", "Software\\Café"})
    EXPECT_TRUE(reg.KeyExists(key)) << key;
  for (const char* key : {"Software\\De", "Software\\Deep\\Er\\Est\\More"})
    EXPECT_FALSE(reg.KeyExists(key)) << key;
  EXPECT_EQ(reg.SubKeys("Software"), (Names{"Café", "Deep", "E"}));
  EXPECT_EQ(reg.SubKeys("software\\e"), (Names{"5.4", "5.40a", "[x]", "_under", "A", "b", "V5.40"}));
  EXPECT_EQ(reg.SubKeys("Software\\Deep\\Er\\Est"), Names{});
  EXPECT_FALSE(reg.SubKeys("Software\\Nope"));
}

TEST(RegistryParse, ThirtyTwoBitViewInWin64Prefix) {
  const std::string body =
      "[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1\n\"EXEDIR\"=\"C:\\\\native\"\n"
      "[Software\\\\Wow6432Node\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1\n\"Other\"=\"32\"\n"
      "[Software\\\\Only64\\\\K] 1\n\"v\"=\"64\"\n";
  const RegistryFile win64 = ParseRegistry(RegistryText(body, true));
  EXPECT_TRUE(win64.Win64());
  // The 32-bit key wins as a whole: no fallback to the 64-bit key's values.
  EXPECT_EQ(win64.String("Software\\EPLAN\\EPLAN 5\\5.40", "Other"), "32");
  EXPECT_FALSE(win64.String("Software\\EPLAN\\EPLAN 5\\5.40", "EXEDIR"));
  EXPECT_EQ(win64.String("Software\\Only64\\K", "v"), "64");
  // The sub-keys of the 32-bit view, and the native keys of a 32-bit prefix: the rows of
  // EplanEnvironmentTest.RegistryVariants.
  EXPECT_FALSE(ParseRegistry(RegistryText(body, false)).Win64());
}

TEST(RegistryParse, MalformedInputIsSkippedNotFatal) {
  for (const auto& row : velmor::testing::CaseRows("platform/registry-headers.tsv", 2)) {
    const RegistryFile reg = ParseRegistry(row[1]);
    EXPECT_EQ(reg.SectionCount(), 0u) << row[0];
    EXPECT_FALSE(reg.KeyExists("Software\\A")) << row[0];
  }

  const RegistryFile reg = ParseRegistry(RegistryText(DataFile("platform/registry-malformed.reg")));
  EXPECT_EQ(reg.String("Software\\Good", "a"), "1");
  EXPECT_FALSE(reg.String("Software\\Good", "b"));
  // The values under a broken key line must not land in the key before it.
  EXPECT_FALSE(reg.String("Software\\Good", "c"));
  EXPECT_FALSE(reg.KeyExists("Software\\Broken"));
  EXPECT_EQ(reg.String("Software\\Trailing", "d"), "crlf");
  EXPECT_FALSE(reg.String("Software\\Trailing", "e"));
}

// A missing system.reg (velmorctl's EnvFailuresGoToStderrWithExitOne) and one rewritten between reads
// (the rows of EplanEnvironmentTest.RegistryVariants) are read as they are; here a folder in its place
// and a rewrite that hides itself.
TEST(RegistryFileAccess, AFolderIsNoRegistryAndChangesAreSeen) {
  velmor::testing::TempPrefix prefix;
  const std::string path = prefix.Abs("system.reg");
  EXPECT_FALSE(RegistryKeyExists(prefix.Root(), "Software"));  // a folder is no registry file

  // A rewrite that keeps the size and puts the modification time back is still seen.
  namespace fs = std::filesystem;
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  prefix.WriteRegistry("[Software\\\\EPLAN] 1\n\"x\"=\"one\"\n");
  fs::last_write_time(path, old);
  EXPECT_EQ(RegistryString(path, "Software\\EPLAN", "x"), "one");
  EXPECT_EQ(RegistryString(path, "Software\\EPLAN", "x"), "one");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  prefix.WriteRegistry("[Software\\\\EPLAN] 1\n\"x\"=\"two\"\n");
  fs::last_write_time(path, old);
  EXPECT_EQ(RegistryString(path, "Software\\EPLAN", "x"), "two");
}

}  // namespace
}  // namespace velmor::platform
