#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/common/TempPrefix.h"

namespace velmor::platform {
namespace {

using Names = std::vector<std::string>;

using testing::RegistryText;

TEST(RegistryParse, StringValuesAndEscapes) {
  const RegistryFile reg =
      ParseRegistry(RegistryText("[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1700000000\n"
                                 "#time=1d9a2b3c4d5e6f7\n"
                                 "@=\"Standard\"\n"
                                 "\"EXEDIR\"=\"C:\\\\EPLAN5\\\\BIN\"\n"
                                 "\"Quote\"=\"say \\\"hi\\\"\"\n"
                                 "\"Ctrl\"=\"a\\tb\\nc\\rd\"\n"
                                 "\"Umlaut\"=\"M\\xfcller \\x20ac\"\n"
                                 "\"Nul\"=\"before\\0after\"\n"
                                 "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
                                 "\"Multi\"=str(7):\"a\\0b\\0\"\n"
                                 "\"Number\"=dword:0000002a\n"
                                 "\"Binary\"=hex:01,02,\\\n"
                                 "  ff,00\n"
                                 "\"Wide\"=hex(2):41,00,42,00,\\\n"
                                 "  00,00\n"
                                 "\"Empty\"=\"\"\n"));
  const std::string key = "Software\\EPLAN\\EPLAN 5\\5.40";
  const std::pair<const char*, std::optional<std::string>> rows[] = {
      {"", "Standard"},
      {"EXEDIR", "C:\\EPLAN5\\BIN"},
      {"exedir", "C:\\EPLAN5\\BIN"},
      {"Quote", "say \"hi\""},
      {"Ctrl", "a\tb\nc\rd"},
      {"Umlaut", "Müller €"},
      {"Nul", "before"},
      {"Expand", "%SystemRoot%\\x"},
      {"Multi", std::nullopt},
      {"Number", std::nullopt},
      {"Binary", std::nullopt},
      {"Wide", "AB"},
      {"Empty", ""},
      {"Missing", std::nullopt},
  };
  for (const auto& [name, expected] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(reg.String(key, name), expected);
  }
  EXPECT_FALSE(reg.String("Software\\EPLAN", "EXEDIR"));
}

TEST(RegistryParse, KeyNamesEscapesAndIntermediateKeys) {
  const RegistryFile reg = ParseRegistry(
      RegistryText("[Software\\\\Caf\\xe9\\\\a\\[1\\]b] 1\n\"v\"=\"x\"\n\n"
                   "[Software\\\\Deep\\\\Er\\\\Est] 1\n\"v\"=\"deep\"\n"
                   // Sub-keys come in Wine's order, each with the spelling first seen.
                   "[Software\\\\E\\\\V5.40] 1\n[Software\\\\E\\\\A] 1\n[Software\\\\E\\\\_under] 1\n"
                   "[Software\\\\E\\\\\\[x\\]] 1\n[Software\\\\E\\\\5.40a] 1\n[Software\\\\E\\\\5.4] 1\n"
                   "[Software\\\\E\\\\b\\\\child] 1\n[Software\\\\E\\\\B] 1\n"));
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
  EXPECT_EQ(win64.SubKeys("Software\\EPLAN\\EPLAN 5"), Names{"5.40"});

  const RegistryFile win32 = ParseRegistry(RegistryText(body, false));
  EXPECT_FALSE(win32.Win64());
  EXPECT_EQ(win32.String("Software\\EPLAN\\EPLAN 5\\5.40", "EXEDIR"), "C:\\native");
}

TEST(RegistryParse, MalformedInputIsSkippedNotFatal) {
  const std::pair<const char*, std::string> rows[] = {
      {"empty", ""},
      {"no header", "[Software\\\\A] 1\n\"v\"=\"x\"\n"},
      {"wrong version", "WINE REGISTRY Version 1\n[Software\\\\A] 1\n\"v\"=\"x\"\n"},
      {"header only, no newline", "WINE REGISTRY Version 2"},
  };
  for (const auto& [name, text] : rows) {
    SCOPED_TRACE(name);
    const RegistryFile reg = ParseRegistry(text);
    EXPECT_EQ(reg.SectionCount(), 0u);
    EXPECT_FALSE(reg.KeyExists("Software\\A"));
  }

  const RegistryFile reg =
      ParseRegistry(RegistryText("[Software\\\\Good] 1\n\"a\"=\"1\"\n"
                                 "garbage line\n"
                                 "\"unterminated=\"x\"\n"
                                 "\"b\"=\"open\n"
                                 "[Software\\\\Broken 1\n\"c\"=\"leak\"\n"
                                 "[Software\\\\Trailing\\\\] 1\r\n\"d\"=\"crlf\"\r\n"
                                 "\"e\"=\"tail\\"));
  EXPECT_EQ(reg.String("Software\\Good", "a"), "1");
  EXPECT_FALSE(reg.String("Software\\Good", "b"));
  // The values under a broken key line must not land in the key before it.
  EXPECT_FALSE(reg.String("Software\\Good", "c"));
  EXPECT_FALSE(reg.KeyExists("Software\\Broken"));
  EXPECT_EQ(reg.String("Software\\Trailing", "d"), "crlf");
  EXPECT_FALSE(reg.String("Software\\Trailing", "e"));
}

TEST(RegistryFileAccess, MissingFileIsEmptyAndChangesAreSeen) {
  velmor::testing::TempPrefix prefix;
  const std::string path = prefix.Abs("system.reg");
  EXPECT_FALSE(RegistryKeyExists(path, "Software\\EPLAN"));
  EXPECT_FALSE(RegistrySubKeys(path, "Software"));
  EXPECT_FALSE(RegistryString(path, "Software\\EPLAN", "x"));

  prefix.WriteRegistry("[Software\\\\EPLAN] 1\n\"x\"=\"first\"\n");
  EXPECT_TRUE(RegistryKeyExists(path, "software\\eplan"));
  EXPECT_EQ(RegistryString(path, "Software\\EPLAN", "x"), "first");

  prefix.WriteRegistry("[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40] 1\n", true);
  EXPECT_EQ(RegistrySubKeys(path, "SOFTWARE\\EPLAN\\EPLAN 5"), Names{"5.40"});
  EXPECT_FALSE(RegistryString(path, "Software\\EPLAN", "x"));

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
