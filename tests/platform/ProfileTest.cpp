#include "platform/Profile.h"

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

class ProfileFile : public ::testing::Test {
 protected:
  // The error a write left, kErrorSuccess when it succeeded.
  uint32_t Write(const std::string& file, std::optional<std::string_view> value) {
    uint32_t error = 0;
    return ProfileWriteString(file, "S", "k", value, error) ? kErrorSuccess : error;
  }
  velmor::testing::TempPrefix prefix_;
  std::string ini_ = prefix_.Abs("drive_c/windows/Velmor.INI");
  uint32_t error_ = 0;
};

TEST_F(ProfileFile, WriteCreatesAndReplacesAtomicallyAlsoThroughALink) {
  ASSERT_TRUE(ProfileWriteString(ini_, "VelmorMainFrm", "FormVersion", "0", error_));
  EXPECT_EQ(prefix_.ReadFile(ini_), "[VelmorMainFrm]\r\nFormVersion=0\r\n");
  EXPECT_EQ(ProfileGetString(ini_, "velmormainfrm", "formversion", "x", 2048), "0");

  fs::permissions(ini_, fs::perms(0640));
  struct stat before {};
  ASSERT_EQ(::stat(ini_.c_str(), &before), 0);
  ASSERT_TRUE(ProfileWriteString(ini_, "VelmorMainFrm", "Visible", "1", error_));
  struct stat after {};
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "the file must be replaced, not rewritten in place";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(prefix_.Abs("drive_c/windows")), Names{"Velmor.INI"});  // no temporary left
  // Deleting a key or a section that is not there leaves the file as it is.
  EXPECT_EQ(Write(ini_, std::nullopt), kErrorSuccess);
  ASSERT_TRUE(ProfileWriteString(ini_, "Nope", std::nullopt, std::nullopt, error_));
  struct stat untouched {};
  ASSERT_EQ(::stat(ini_.c_str(), &untouched), 0);
  EXPECT_EQ(untouched.st_ino, after.st_ino);

  // Deleting from a missing file creates nothing.
  const std::string missing = prefix_.Abs("drive_c/windows/none.ini");
  EXPECT_EQ(Write(missing, std::nullopt), kErrorSuccess);
  EXPECT_FALSE(prefix_.Exists(missing));
  EXPECT_EQ(ProfileGetString(missing, "S", "k", "def", 2048), "def");

  prefix_.WriteFile("drive_c/real.ini", "[S]\nk=1\n");
  fs::create_symlink(prefix_.Abs("drive_c/real.ini"), prefix_.Abs("drive_c/link.ini"));
  ASSERT_EQ(Write(prefix_.Abs("drive_c/link.ini"), "2"), kErrorSuccess);
  EXPECT_TRUE(fs::is_symlink(prefix_.Abs("drive_c/link.ini")));
  EXPECT_EQ(prefix_.ReadFile("drive_c/real.ini"), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileFile, WriteFailsOnReadOnlyOrMissingPlacesAndKeepsTheFile) {
  prefix_.WriteFile(ini_, "[S]\r\nk=1\r\n");
  fs::permissions(ini_, fs::perms(0444));  // refused even for root
  EXPECT_EQ(Write(ini_, "2"), kErrorAccessDenied);
  fs::permissions(ini_, fs::perms(0644));
  fs::permissions(prefix_.Abs("drive_c/windows"), fs::perms(0555));
  EXPECT_EQ(Write(ini_, "2"), kErrorAccessDenied);
  fs::permissions(prefix_.Abs("drive_c/windows"), fs::perms(0755));
  EXPECT_EQ(Write(ini_, "a\r\n[T]"), kErrorInvalidParameter);  // a value that would add lines
  EXPECT_EQ(prefix_.ReadFile(ini_), "[S]\r\nk=1\r\n");

  EXPECT_EQ(Write(prefix_.Abs("drive_c/nofolder/x.ini"), "v"), kErrorPathNotFound);
  EXPECT_FALSE(prefix_.Exists("drive_c/nofolder"));
}

}  // namespace
}  // namespace velmor::platform
