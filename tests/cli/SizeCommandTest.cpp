#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

TEST(SizeCommand, PrintsBytesPerFolderAndFailsForAMissingOne) {
  testing::TempPrefix prefix;
  prefix.WriteFile("drive_d/P/A.EXF", std::string(1000, 'a'));
  prefix.WriteFile("drive_d/P/S/B.BMP", std::string(24, 'b'));
  prefix.WriteFile("drive_d/Q/C.ASC", "");

  CliRun r = Velmorctl({"size", "D:\\P", prefix.Abs("drive_d/Q")});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "1024\tD:\\P\n0\tD:\\Q\n");
  r = Velmorctl({"size", "--details", "d:\\p\\"});
  EXPECT_EQ(r.out, "1024\td:\\p\\\t2 Dateien\t1 Unterordner\n");

  // The folders that exist are measured all the same.
  r = Velmorctl({"size", "D:\\FEHLT", "D:\\P"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "1024\tD:\\P\n");
  EXPECT_EQ(r.err, "Der Ordner D:\\FEHLT existiert nicht\n");
  EXPECT_EQ(Velmorctl({"size"}).code, kExitUsage);
}

}  // namespace
}  // namespace velmor::cli
