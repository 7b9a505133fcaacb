// The transfer against a failing disk: every call of a kind, one at a time or from some call on, fails
// with a full disk, an I/O error or a refusal. After each run no original symbol file may be lost,
// ARGV.DAT holds its old or its new text, what reached the project is intact, and the failure shows.
// Chosen failures end exactly as their goldens say.
#include <gtest/gtest.h>

#include <regex>
#include <tuple>

#include "core/ProjectTransfer.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

using testing::Call;
using testing::TransferStation;

const std::string kProject = "drive_c/EPLAN5/P/ANLAGE1.P";

// complete: the project folder of a run that nothing made fail.
void CheckNothingLost(const TransferStation& st, const TransferResult& r, bool failureMustShow,
                      const std::map<std::string, std::string>& complete) {
  testing::ExpectOriginalsSaved(st);
  const auto argv = st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT");
  EXPECT_TRUE(argv == "ALT\r\n" || argv == "ANLAGE1\r\n") << (argv ? *argv : "(missing)");
  // Whatever arrived in the project folder arrived whole.
  for (const auto& [name, content] : testing::FileMap(st.prefix, kProject))
    EXPECT_EQ(content, complete.count(name) ? complete.at(name) : "(not in a complete project)") << name;

  if (failureMustShow) {
    const bool shows = !r.Error.empty() || r.Outcome != TransferOutcome::Done || !r.FailedCopies.empty() ||
                       !r.KeptOriginals.empty();
    EXPECT_TRUE(shows) << "a failed call went unnoticed";
  }
}

TEST(ProjectTransferFaultTest, NoSymbolFileIsLostWhateverCallFails) {
  struct Kind {
    const char* name;
    Call kind;
    bool failureMustShow;  // attributes of a copy are not looked at, as the folder copy defines
  };
  const Kind kinds[] = {
      {"copy", Call::CopyFile, true},           {"delete", Call::DeleteFile, true},
      {"folder", Call::ForceDirectories, true}, {"write", Call::WriteFile, true},
      {"read", Call::ReadFile, true},           {"attributes", Call::SetFileAttributes, false},
  };
  const uint32_t errors[] = {platform::kErrorDiskFull, platform::kErrorWriteFault,
                             platform::kErrorAccessDenied};

  TransferStation clean;
  const TransferResult cleanRun = clean.Try();
  ASSERT_EQ(cleanRun.Error, "");
  ASSERT_EQ(cleanRun.FailedCopies.size(), 0u);
  const auto complete = testing::FileMap(clean.prefix, kProject);
  ASSERT_EQ(complete.size(), 6u);

  size_t runs = 0;
  for (const Kind& k : kinds) {
    const size_t calls = clean.files.Calls(k.kind);
    EXPECT_GT(calls, 0u) << k.name;
    for (size_t n = 1; n <= calls; ++n) {
      // The transfer never looks at the error code, so the three errors take turns instead of
      // multiplying the runs (each run syncs its copies to disk).
      const uint32_t error = errors[n % 3];
      for (bool fromThenOn : {false, true}) {
        SCOPED_TRACE(std::string(k.name) + " #" + std::to_string(n) + (fromThenOn ? " and later" : "") +
                     " fails with " + std::to_string(error));
        TransferStation st;
        if (fromThenOn)
          st.files.FailFrom(k.kind, n, error);
        else
          st.files.FailNth(k.kind, n, error);
        const TransferResult r = st.Try();
        ASSERT_GT(st.files.InjectedFailures(), 0u);
        CheckNothingLost(st, r, k.failureMustShow, complete);
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 30u);
}

// A transfer on a disk where the calls of the rules fail, each its case's golden.
struct FailingDisk {
  std::string name;
  std::vector<std::tuple<Call, std::string, uint32_t>> rules;  // the call, the part of its path, the error
};

void PrintTo(const FailingDisk& disk, std::ostream* out) {
  *out << disk.name;
}

class FailingDiskTest : public ::testing::TestWithParam<FailingDisk> {};

TEST_P(FailingDiskTest, EndsAsItsGoldenSays) {
  TransferStation st;
  for (const auto& [call, where, error] : GetParam().rules) st.files.FailWhere(call, where, error);
  EXPECT_EQ(st.Did(), testing::Golden(GetParam().name));
}

using platform::kErrorDiskFull;
// Backups that cannot be put on the disk do not count: the originals stay, unreplaced; so does the
// original whose backup copy failed, while the others go. ARGV.DAT names only a project whose every
// file arrived, and is not written when its old text cannot be kept. An error of ARGV.DAT names the
// file; the failures before it are still reported.
INSTANTIATE_TEST_SUITE_P(
    Cases, FailingDiskTest,
    ::testing::Values(FailingDisk{"the backups cannot be flushed",
                                  {{Call::FlushFileSystem, "SIASC", platform::kErrorWriteFault}}},
                      FailingDisk{"the backup copy of SYM01.ASC fails",
                                  {{Call::CopyFile, "SIASC\\SYM01.ASC", kErrorDiskFull}}},
                      FailingDisk{"the copy of EXF0\\SEITEN.LST fails",
                                  {{Call::CopyFile, "EXF0\\SEITEN.LST", kErrorDiskFull}}},
                      FailingDisk{"the copy of NORM\\SYM02.ASC fails",
                                  {{Call::CopyFile, "NORM\\SYM02.ASC", kErrorDiskFull}}},
                      FailingDisk{"ARGV.DAT cannot be read",
                                  {{Call::ReadFile, "ARGV.DAT", platform::kErrorWriteFault},
                                   {Call::CopyFile, "SIASC\\ALT01.ASC", kErrorDiskFull}}},
                      FailingDisk{"ARGV.DAT whose old text the journal cannot keep",
                                  {{Call::CopyFile, "\\saved\\", kErrorDiskFull}}},
                      FailingDisk{"ARGV.DAT cannot be written",
                                  {{Call::WriteFile, "ARGV.DAT", platform::kErrorWriteFault},
                                   {Call::CopyFile, "SIASC\\ALT01.ASC", kErrorDiskFull}}}),
    [](const auto& c) { return std::regex_replace(c.param.name, std::regex("[^A-Za-z0-9]+"), "_"); });

}  // namespace
}  // namespace velmor
