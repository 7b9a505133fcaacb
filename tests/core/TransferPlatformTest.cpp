// The transfer's file role changes the disk only in the ways a transfer means to, and in a dry run not
// at all. Its base passes on only the calls that look, so a changing call added to the file role does
// not build until it is decided here; these tests hold every changing call of today's role to that
// decision.
#include "core/TransferPlatform.h"

#include <gtest/gtest.h>

#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

struct Station {
  Station() {
    prefix.WriteFile("drive_c/X.TXT", "x");
    prefix.WriteFile("drive_c/F/OLD.TXT", "old");
    prefix.WriteFile("drive_c/windows/Velmor.INI", "[S]\r\nK=1\r\n");
  }
  testing::TempPrefix prefix;
  TransferResult result;
  TransferProgress progress;
};

TEST(TransferPlatformTest, ChangesATransferDoesNotMakeAreRefusedInBothModes) {
  for (const bool dryRun : {false, true}) {
    SCOPED_TRACE(dryRun ? "dry run" : "real run");
    Station st;
    TransferPlatform tp(platform::HostPlatform(), dryRun, st.result, st.progress);
    const auto before = testing::StationListing(st.prefix);
    const std::pair<const char*, bool> calls[] = {
        {"RemoveDirectory", tp.RemoveDirectory("C:\\F")},
        {"DeleteTree", tp.DeleteTree("C:\\F")},
        {"SetFileTime", tp.SetFileTime("C:\\X.TXT", 133000000000000000)},
        {"OpenFile ReadWrite", tp.OpenFile("C:\\X.TXT", platform::OpenMode::ReadWrite) != nullptr},
        {"OpenFile CreateAlways", tp.OpenFile("C:\\F\\NEU.TXT", platform::OpenMode::CreateAlways) != nullptr},
    };
    for (const auto& [name, succeeded] : calls) EXPECT_FALSE(succeeded) << name;
    EXPECT_EQ(platform::LastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(testing::StationListing(st.prefix), before);
    EXPECT_TRUE(st.result.Actions.empty());
  }
}

TEST(TransferPlatformTest, ADryRunBooksTheChangesItModelsAndMakesNone) {
  Station st;
  const std::string dead = ".velmor-999999999-1.tmp";
  st.prefix.WriteFile("drive_c/F/" + dead, "halb");
  TransferPlatform tp(platform::HostPlatform(), true, st.result, st.progress);
  const auto before = testing::StationListing(st.prefix);

  EXPECT_TRUE(tp.CopyFile("C:\\X.TXT", "C:\\F\\Y.TXT", false));
  EXPECT_EQ(tp.ReadFile("C:\\F\\Y.TXT"), "x");
  EXPECT_TRUE(tp.SetFileAttributes("C:\\F\\Y.TXT", platform::kAttrReadOnly));
  EXPECT_FALSE(tp.DeleteFile("C:\\F\\Y.TXT"));  // read-only, as on the disk
  EXPECT_TRUE(tp.MoveFile("C:\\F\\OLD.TXT", "C:\\F\\OLD.~001.TXT"));
  EXPECT_FALSE(tp.FileExists("C:\\F\\OLD.TXT"));
  EXPECT_TRUE(tp.DeleteFile("C:\\X.TXT"));
  EXPECT_FALSE(tp.CopyFile("C:\\X.TXT", "C:\\F\\Z.TXT", false));
  EXPECT_TRUE(tp.ForceDirectories("C:\\A\\B"));
  EXPECT_TRUE(tp.CreateDirectory("C:\\A\\B\\C"));
  EXPECT_TRUE(tp.WriteFile("C:\\A\\B\\C\\ARGV.DAT", "S\xFC\x64\r\n"));
  EXPECT_TRUE(tp.WriteFile("C:\\F\\DATEN", std::string("\x01\x02\r\n", 4)));
  EXPECT_TRUE(tp.FlushFileSystem("C:\\F"));
  EXPECT_EQ(tp.RemoveStaleTemporaries("C:\\F"), 0u);
  EXPECT_EQ(testing::StationListing(st.prefix), before);

  std::string plan;
  for (const TransferAction& action : st.result.Actions) plan += DescribeAction(action) + "\n";
  EXPECT_EQ(plan, testing::Golden("the plan of a dry run of the transfer's file role"));
  EXPECT_EQ(st.result.FailedCopies,
            std::vector<std::string>{"C:\\X.TXT -> C:\\F\\Z.TXT (Datei nicht gefunden)"});
}

}  // namespace
}  // namespace velmor
