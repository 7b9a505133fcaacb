#include "core/EplanEnvironment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/common/LockedByAnotherProcess.h"
#include "tests/common/TempPrefix.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

using testing::ScopedEnv;
using Lines = std::vector<std::string>;

// The five folders of slots as one line, to compare a whole reading at once.
std::string Joined(const ApdFolders& f) {
  return f.ProjectFolder + "|" + f.MacroFolder + "|" + f.NormalMasterFolder + "|" + f.StockFolder + "|" +
         f.FormsFolder;
}

// Bytes of 'x' (no NUL, no 0xBA) with the given texts written at the slot offsets.
std::string Apd(const Lines& slots, size_t size) {
  std::string bytes(size, 'x');
  for (size_t i = 0; i < slots.size(); ++i) bytes.replace(kApdSlotOffsets[i], slots[i].size(), slots[i]);
  return bytes;
}

TEST(ReadApdSlotsTest, SlotsOfRawBytes) {
  for (const auto& row : testing::CaseRows("core/apd-slots.tsv", 3)) {
    const std::string bytes = Apd(testing::ListField(row[0]), std::stoul(row[1]));
    EXPECT_EQ(Joined(ReadApdSlots(bytes)), testing::Expanded(row[2]))
        << row[0] << " in " << row[1] << " bytes";
  }
}

// The body of a system.reg with the keys, each "key=EXEDIR", without an EXEDIR value when it is empty.
std::string Reg(const std::string& keys) {
  std::string body;
  for (const std::string& key : testing::ListField(testing::Replaced(keys, "\\", "\\\\"))) {
    const size_t equals = key.find('=');
    body += "[" + key.substr(0, equals) + "] 1700000000\n" +
            (equals + 1 == key.size() ? "" : "\"EXEDIR\"=\"" + key.substr(equals + 1) + "\"\n");
  }
  return body;
}

class EplanEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.MakeDir("drive_c/EPLAN5/BIN");
    prefix.WriteRegistry(Reg("Software\\EPLAN\\EPLAN 5\\5.40=C:\\EPLAN5\\BIN"));
    prefix.WriteFile(apd, Apd({"C:\\EPLAN5\\P\\\xBA", "M\xBA", "N\xBA", "L\xBA", "F\xBA"}, 700));
  }
  EnvironmentStatus Load() {
    platform::IPlatform& os = platform::HostPlatform();
    return LoadEplanEnvironment(os, os, os, env, reporter);
  }

  testing::TempPrefix prefix;
  const std::string apd = "drive_c/EPLAN5/O/DEMO/USER1.APD";
  ScopedEnv customer{"KUNDEN_KENNUNG", "DEMO"};
  ScopedEnv user{"KENNUNG", "USER1"};
  ScopedEnv station{"STATIONS_NUMMER", "01"};
  EplanEnvironment env;
  testing::ScriptedReporter reporter;
};

TEST_F(EplanEnvironmentTest, RegistryVariants) {
  for (const auto& row : testing::CaseRows("core/eplan-registry.tsv", 4)) {
    prefix.WriteRegistry(Reg(row[1]), row[2] == "win64");
    EXPECT_EQ(FindEplanExeDir(platform::HostPlatform()), row[3]) << row[0];
  }
  // The EPLAN folder is the parent of EXEDIR, or C:\EPLAN4 when that does not exist.
  prefix.WriteRegistry(Reg("Software\\EPLAN\\EPLAN 5\\5.40=C:\\GIBTS\\NICHT\\BIN"));
  Load();
  EXPECT_EQ(env.EplanDir, "C:\\EPLAN4");
}

TEST_F(EplanEnvironmentTest, FailuresSayWhatIsWrongAndKeepTheFolders) {
  // An empty and an unreadable parameter file: velmorctl's EnvFailuresGoToStderrWithExitOne.
  env.ProjectFolder = "vorher";
  {
    // A Windows program's LockFile, as Wine passes it on to the host.
    testing::LockedByAnotherProcess held(prefix.Abs(apd));
    ASSERT_TRUE(held.Locked());
    EXPECT_EQ(Load(), EnvironmentStatus::ApdUnreadable);
  }
  EXPECT_EQ(reporter.messages.back(),
            "Parameterdatei:C:\\EPLAN5\\O\\DEMO\\USER1.APD kann nicht geöffnet werden, "
            "sie wird von einem anderen Programm benutzt");

  ScopedEnv noCustomer("KUNDEN_KENNUNG", std::nullopt);
  ScopedEnv noUser("KENNUNG", std::nullopt);
  ScopedEnv longStation("STATIONS_NUMMER", std::string(256, '7'));
  EXPECT_EQ(Load(), EnvironmentStatus::ApdMissing);
  EXPECT_EQ(env.ApdFile, "C:\\EPLAN5\\O\\\\.APD");
  EXPECT_EQ(env.StationNumber, "");  // longer than 255 bytes counts as empty

  // Not registered: silent, and nothing changes.
  prefix.WriteRegistry("");
  env.EplanDir = "vorher";
  EXPECT_EQ(Load(), EnvironmentStatus::NotRegistered);
  EXPECT_EQ(env.EplanDir, "vorher");
  EXPECT_EQ(env.ProjectFolder, "vorher");
  EXPECT_EQ(reporter.messages.size(), 2u);  // the locked and the missing parameter file
}

TEST_F(EplanEnvironmentTest, HugeApdIsReadOnlyAsFarAsTheSlotsNeed) {
  // A forms slot without an end runs into a large file; only the bytes the slots need are read.
  prefix.WriteFile(apd,
                   Apd({"P\xBA", "M\xBA", "N\xBA", "L\xBA"}, kApdSlotOffsets[4]) + std::string(8 << 20, 'F'));
  ASSERT_EQ(Load(), EnvironmentStatus::Loaded);
  EXPECT_EQ(Joined({env.ProjectFolder, env.MacroFolder, env.NormalMasterFolder, env.StockFolder, ""}),
            "P|M|N|L|");
  EXPECT_EQ(env.FormsFolder, std::string(kApdBytesRead - kApdSlotOffsets[4], 'F'));
}

}  // namespace
}  // namespace velmor
