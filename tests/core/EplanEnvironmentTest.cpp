#include "core/EplanEnvironment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

using testing::ScopedEnv;
using testing::TempPrefix;

TEST(ReadApdSlotsTest, SlotsOfRawBytes) {
  // 1024 bytes of 'x' (no NUL, no 0xBA) with empty slots, the given slot texts written over them.
  auto apd = [](std::vector<std::string> slots) {
    std::string bytes(1024, 'x');
    for (size_t offset : kApdSlotOffsets) bytes[offset] = '\0';
    for (size_t i = 0; i < slots.size(); ++i) bytes.replace(kApdSlotOffsets[i], slots[i].size(), slots[i]);
    return bytes;
  };
  struct Row {
    const char* name;
    std::string bytes;
    ApdFolders expected;
  };
  const std::string nul(1, '\0');
  const std::vector<Row> rows = {
      {"paths ended by 0xBA with junk after",
       apd({"D:\\EPLAN\\P\\\xBAjunk" + nul, "M\\\xBA", "N\\\xBA", "L\\\xBA", "F\\\xBA"}),
       {"D:\\EPLAN\\P\\", "M\\", "N\\", "L\\", "F\\"}},
      {"NUL before 0xBA ends the slot", apd({"P" + nul + "\xBA"}), {"P", "", "", "", ""}},
      {"no NUL and no 0xBA runs to the end",
       std::string(400, 'x'),
       {std::string(400 - 132, 'x'), std::string(400 - 220, 'x'), std::string(400 - 264, 'x'),
        std::string(400 - 308, 'x'), std::string(4, 'x')}},
      {"shorter than the slots", std::string(100, 'a'), {}},
      {"Windows-1252 decoded",
       apd({"C:\\PR\xDC"
            "F\\\xBA"}),
       {"C:\\PRÜF\\", "", "", "", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ApdFolders got = ReadApdSlots(row.bytes);
    EXPECT_EQ(got.ProjectFolder, row.expected.ProjectFolder);
    EXPECT_EQ(got.MacroFolder, row.expected.MacroFolder);
    EXPECT_EQ(got.NormalMasterFolder, row.expected.NormalMasterFolder);
    EXPECT_EQ(got.StockFolder, row.expected.StockFolder);
    EXPECT_EQ(got.FormsFolder, row.expected.FormsFolder);
  }
}

class ScriptedReporter : public IReporter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    return false;
  }
  std::vector<std::string> messages;
};

// A parameter file with the five folders in their slots.
std::string ApdBytes(const std::vector<std::string>& folders) {
  std::string bytes(700, '\x11');
  for (size_t i = 0; i < folders.size(); ++i) {
    bytes.replace(kApdSlotOffsets[i], folders[i].size(), folders[i]);
    bytes[kApdSlotOffsets[i] + folders[i].size()] = '\xBA';
  }
  return bytes;
}

const std::vector<std::string> kFolders = {"C:\\EPLAN5\\P\\", "C:\\EPLAN5\\MAKROS\\", "C:\\EPLAN5\\NS\\",
                                           "C:\\EPLAN5\\LAGER\\", "C:\\EPLAN5\\FORM\\"};

std::string Reg(const std::string& base, const std::string& sub, const std::string& exeDir) {
  std::string text = "[" + base + "\\\\" + sub + "] 1700000000\n";
  if (!exeDir.empty()) text += "\"EXEDIR\"=\"" + exeDir + "\"\n";
  return text + "\n";
}

class EplanEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.MakeDir("drive_c/EPLAN5/BIN");
    prefix.WriteRegistry(Reg("Software\\\\EPLAN\\\\EPLAN 5", "5.40", "C:\\\\EPLAN5\\\\BIN"));
    prefix.WriteFile("drive_c/EPLAN5/O/DEMO/USER1.APD", ApdBytes(kFolders));
  }
  EnvironmentStatus Load() { return LoadEplanEnvironment(env, reporter); }

  TempPrefix prefix;
  ScopedEnv customer{"KUNDEN_KENNUNG", "DEMO"};
  ScopedEnv user{"KENNUNG", "USER1"};
  ScopedEnv station{"STATIONS_NUMMER", "01"};
  EplanEnvironment env;
  ScriptedReporter reporter;
};

TEST_F(EplanEnvironmentTest, ReadsTheWholeStation) {
  ASSERT_EQ(Load(), EnvironmentStatus::Loaded);
  EXPECT_EQ(env.EplanDir, "C:\\EPLAN5");
  EXPECT_EQ(env.CustomerId, "DEMO");
  EXPECT_EQ(env.UserId, "USER1");
  EXPECT_EQ(env.StationNumber, "01");
  EXPECT_EQ(env.ApdFile, "C:\\EPLAN5\\O\\DEMO\\USER1.APD");
  EXPECT_EQ(env.ArgvFile, "C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT");
  EXPECT_EQ(env.ProjectFolder, kFolders[0]);
  EXPECT_EQ(env.MacroFolder, kFolders[1]);
  EXPECT_EQ(env.NormalMasterFolder, kFolders[2]);
  EXPECT_EQ(env.StockFolder, kFolders[3]);
  EXPECT_EQ(env.FormsFolder, kFolders[4]);
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(EplanEnvironmentTest, RegistryVariants) {
  struct Row {
    const char* name;
    std::string body;
    bool win64;
    std::string exeDir;
  };
  const std::string eplan5 = "Software\\\\EPLAN\\\\EPLAN 5";
  const std::string software = "Software\\\\EPLAN Software & Service";
  const std::vector<Row> rows = {
      {"not registered", "", false, ""},
      {"fallback key", Reg(software, "5.40", "C:\\\\EPLAN5\\\\BIN"), false, "C:\\EPLAN5\\BIN"},
      {"EPLAN 5 key wins over the fallback",
       Reg(eplan5, "5.40", "C:\\\\A\\\\BIN") + Reg(software, "5.40", "C:\\\\B\\\\BIN"), false, "C:\\A\\BIN"},
      {"5.4 does not match", Reg(eplan5, "5.4", "C:\\\\A\\\\BIN"), false, ""},
      {"later match wins even without EXEDIR",
       Reg(eplan5, "5.40a", "C:\\\\A\\\\BIN") + Reg(eplan5, "V5.40", ""), false, ""},
      {"later match wins", Reg(eplan5, "5.40a", "C:\\\\A\\\\BIN") + Reg(eplan5, "V5.40", "C:\\\\V\\\\BIN"),
       false, "C:\\V\\BIN"},
      {"32-bit view of a 64-bit prefix",
       Reg("Software\\\\Wow6432Node\\\\EPLAN\\\\EPLAN 5", "5.40", "C:\\\\W\\\\BIN"), true, "C:\\W\\BIN"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    prefix.WriteRegistry(row.body, row.win64);
    EXPECT_EQ(FindEplanExeDir(), row.exeDir);
  }
  prefix.WriteFile("system.reg", "WINE REGISTRY Version 2\n[Software\\\\EPLAN\\\\EPLAN 5\\\\5.40");
  EXPECT_EQ(FindEplanExeDir(), "");
}

TEST_F(EplanEnvironmentTest, EplanFolderFromExeDir) {
  struct Row {
    const char* name;
    std::string regExeDir;
    std::string eplanDir;
  };
  prefix.MakeDir("drive_c/EPLAN5/BIN");
  const std::vector<Row> rows = {
      {"parent of BIN", "C:\\\\EPLAN5\\\\BIN", "C:\\EPLAN5"},
      {"missing folder falls back", "C:\\\\GIBTS\\\\NICHT\\\\BIN", "C:\\EPLAN4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    prefix.WriteRegistry(Reg("Software\\\\EPLAN\\\\EPLAN 5", "5.40", row.regExeDir));
    Load();
    EXPECT_EQ(env.EplanDir, row.eplanDir);
  }
}

TEST_F(EplanEnvironmentTest, MissingApdSaysEplanIsNotInstalled) {
  ScopedEnv noCustomer("KUNDEN_KENNUNG", std::nullopt);
  ScopedEnv noUser("KENNUNG", std::nullopt);
  ScopedEnv longStation("STATIONS_NUMMER", std::string(256, '7'));
  env.ProjectFolder = "vorher";
  EXPECT_EQ(Load(), EnvironmentStatus::ApdMissing);
  EXPECT_EQ(env.ApdFile, "C:\\EPLAN5\\O\\\\.APD");
  EXPECT_EQ(env.StationNumber, "");  // longer than 255 bytes counts as empty
  EXPECT_EQ(env.ProjectFolder, "vorher");
  EXPECT_EQ(reporter.messages, std::vector<std::string>{"EPLAN ist nicht installiert"});

  // Not registered: silent, and nothing changes.
  prefix.WriteRegistry("");
  env.EplanDir = "vorher";
  EXPECT_EQ(Load(), EnvironmentStatus::NotRegistered);
  EXPECT_EQ(env.EplanDir, "vorher");
  EXPECT_EQ(reporter.messages.size(), 1u);
}

TEST_F(EplanEnvironmentTest, ReadOnlyApdCannotBeOpened) {
  ASSERT_EQ(chmod(prefix.Abs("drive_c/EPLAN5/O/DEMO/USER1.APD").c_str(), 0444), 0);
  EXPECT_EQ(Load(), EnvironmentStatus::ApdUnreadable);
  EXPECT_EQ(
      reporter.messages,
      std::vector<std::string>{"Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD kann nicht geöffnet werden"});
  EXPECT_EQ(env.ProjectFolder, "");
}

TEST_F(EplanEnvironmentTest, EmptyApdKeepsTheFolders) {
  prefix.WriteFile("drive_c/EPLAN5/O/DEMO/USER1.APD", "");
  env.MacroFolder = "vorher";
  EXPECT_EQ(Load(), EnvironmentStatus::EmptyApd);
  EXPECT_EQ(env.MacroFolder, "vorher");
  EXPECT_EQ(env.EplanDir, "C:\\EPLAN5");
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(EplanEnvironmentTest, ShortAndHugeApdFiles) {
  std::string bytes = ApdBytes(kFolders);
  prefix.WriteFile("drive_c/EPLAN5/O/DEMO/USER1.APD", bytes.substr(0, 250));
  ASSERT_EQ(Load(), EnvironmentStatus::Loaded);
  EXPECT_EQ(env.ProjectFolder, kFolders[0]);
  EXPECT_EQ(env.MacroFolder, kFolders[1]);
  EXPECT_EQ(env.NormalMasterFolder, "");
  EXPECT_EQ(env.FormsFolder, "");

  // A forms slot without an end runs into a large file; only the bytes the slots need are read.
  bytes.resize(kApdSlotOffsets[4]);
  bytes += std::string(8 << 20, 'F');
  prefix.WriteFile("drive_c/EPLAN5/O/DEMO/USER1.APD", bytes);
  ASSERT_EQ(Load(), EnvironmentStatus::Loaded);
  EXPECT_EQ(env.StockFolder, kFolders[3]);
  EXPECT_EQ(env.FormsFolder, std::string(kApdBytesRead - kApdSlotOffsets[4], 'F'));
}

}  // namespace
}  // namespace velmor
