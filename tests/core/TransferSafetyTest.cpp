// The transfer across runs and beside other runs: backups are never overwritten, one transfer per
// station (for every user), kills and retries lose no original, the order of backup, flush and delete,
// leftovers of killed runs.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "core/ProjectTransfer.h"
#include "core/StationLock.h"
#include "core/TransferJournal.h"
#include "platform/HostPlatformImpl.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::ExpectOriginalsSaved;
using testing::StationListing;
using testing::TransferStation;

const std::string kNs = "drive_c/EPLAN5/NS/";
const std::string kSiasc = "drive_c/EPLAN5/NS/SIASC/";

TEST(TransferSafetyTest, BackupsAreNeverOverwrittenAcrossTransfers) {
  TransferStation st;
  st.Run(st.Inputs("ANLAGE1"));
  st.prefix.WriteFile("drive_d/EXF/ASC/SYM01.ASC", "sym 01 v3");
  st.Run(st.Inputs("ANLAGE2"));
  // The plain name holds what the latest transfer saved, the versioned names every older original,
  // oldest first; a backup of the same content is not saved twice.
  EXPECT_EQ(st.Did(st.Inputs("ANLAGE3")),
            testing::Golden("a third transfer, a symbol changed before the second"));

  // Backups are found by their exact name: a case twin is nobody's backup and stays, and a link is
  // no backup (it is set aside, never written through, and the original goes only once a real copy
  // is there).
  TransferStation twins;
  twins.prefix.WriteFile("drive_d/AUSSEN.ASC", "alt 01");
  twins.prefix.WriteFile(kSiasc + "SYM01.ASC", "alte Sicherung");
  twins.prefix.WriteFile(kSiasc + "sym01.asc", "Zwilling");
  fs::create_symlink(twins.prefix.Abs("drive_d/AUSSEN.ASC"), twins.prefix.Abs(kSiasc + "ALT01.ASC"));
  twins.Run();
  fs::remove(twins.prefix.Abs("drive_d/AUSSEN.ASC"));
  EXPECT_EQ(
      twins.Files(kSiasc),
      "ALT01.ASC=alt 01\nSYM01.ASC=sym 01 alte Fassung\nSYM01.~001.ASC=alte Sicherung\nsym01.asc=Zwilling\n");
  EXPECT_TRUE(fs::is_symlink(twins.prefix.Abs(kSiasc + "ALT01.~001.ASC")));

  using testing::Expanded;
  for (const auto& row : testing::CaseRows("core/backup-names.tsv", 3)) {
    EXPECT_EQ(VersionedBackupName(Expanded(row[0]), testing::ListField(Expanded(row[1]))), Expanded(row[2]))
        << row[0] << " beside " << row[1];
  }
}

TEST(TransferSafetyTest, ProjectFoldersWindowsCannotHoldAreRefused) {
  using testing::Expanded;
  for (const auto& row : testing::CaseRows("core/project-folders.tsv", 3)) {
    const auto problem = row[2].empty() ? std::nullopt : std::optional(Expanded(row[2]));
    EXPECT_EQ(ProjectFolderProblem(Expanded(row[0]), testing::ListField(Expanded(row[1]))), problem)
        << row[0] << " with " << row[1];
  }
}

// The host, with one page free where the journal goes.
struct NearlyFullDisk final : platform::detail::HostPlatformImpl {
  std::optional<uint64_t> HostFreeSpace(std::string_view) override { return 4096; }
};

TEST(TransferSafetyTest, StaleLocksAreTakenOverAndNothingIsWrittenThroughALinkOrAWindowsLock) {
  const platform::ProcessIdentity self = platform::HostPlatform().ThisProcess();
  const std::string ended = std::to_string(testing::EndedProcess());
  const std::string parent = std::to_string(getppid());
  const std::string parentStart =
      std::to_string(platform::HostPlatform().ProcessStartTime(getppid()).value_or(0));
  auto record = [](const std::string& host, const std::string& pid, const std::string& start) {
    return [=](TransferStation& st) {
      st.prefix.WriteFile(kNs + "VELMOR.LCK", "velmorctl, Prozess " + pid + "\nRechner=" + host +
                                                  "\nProzess=" + pid + "\nStart=" + start + "\n");
    };
  };
  auto link = [](const std::string& at) {
    return [=](TransferStation& st) {
      fs::remove_all(st.prefix.Abs(at));
      fs::create_symlink(st.prefix.Abs("drive_d/AUSSEN"), st.prefix.Abs(at));
    };
  };
  std::unique_ptr<testing::LockedByAnotherProcess> windowsLock;
  auto held = [&](const std::string& file) {
    return [&, file](TransferStation& st) {
      windowsLock = std::make_unique<testing::LockedByAnotherProcess>(st.prefix.Abs(file));
      ASSERT_TRUE(windowsLock->Locked());
    };
  };
  const std::string argv = "drive_c/EPLAN5/O/DEMO/01/ARGV.DAT";
  struct Row {
    std::string name;
    std::function<void(TransferStation&)> plant;
    platform::ISystem* system = &platform::HostPlatform();
  };
  NearlyFullDisk full;
  const Row rows[] = {
      {"the lock of an ended process of this host", record(self.host, ended, "1")},
      {"the lock of a process that got its id later", record(self.host, parent, "1")},
      {"an empty lock file", [](TransferStation& st) { st.prefix.WriteFile(kNs + "VELMOR.LCK", ""); }},
      {"the lock of a process of this host that runs", record(self.host, parent, parentStart)},
      {"the lock of another host", record("werkbank7", parent, parentStart)},
      {"a lock file that is a link", link(kNs + "VELMOR.LCK")},
      {"a backup folder that is a link", link(kSiasc.substr(0, kSiasc.size() - 1))},
      {"a project folder that is a link", link("drive_c/EPLAN5/P/ANLAGE1.P")},
      {"an ARGV.DAT that is a link", link(argv)},
      {"an ARGV.DAT that a Windows program holds", held(argv)},
      {"a journal folder without room", [](TransferStation&) {}, &full},
  };
  // Each row's name, outcome and message, the running process's id as PID and the journal folder as
  // JOURNAL.
  std::string told;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TransferStation st;
    st.prefix.WriteFile("drive_d/AUSSEN", "fremd");
    row.plant(st);
    const auto before = StationListing(st.prefix);
    ProjectTransfer transfer(st.files, *row.system, st.FF, st.samples, st.reporter);
    transfer.SetLockWait(std::chrono::milliseconds(0));
    const TransferOutcome outcome = transfer.Run(st.Inputs()).Outcome;
    told += row.name + ": " + testing::Named(outcome);
    for (const std::string& message : st.reporter.messages)
      told += " > " + testing::Replaced(testing::Replaced(message, "Prozess " + parent, "Prozess PID"),
                                        JournalFolderHost(platform::HostPlatform()), "JOURNAL");
    told += "\n";
    // A lock taken over is removed as the run lets go; a refused run has changed nothing.
    if (outcome == TransferOutcome::Done)
      EXPECT_FALSE(st.prefix.Exists(kNs + "VELMOR.LCK"));
    else
      EXPECT_EQ(StationListing(st.prefix), before);
    windowsLock.reset();
  }
  EXPECT_EQ(told, testing::Golden("stale locks, links and a Windows lock"));
}

// Runs a transfer into project in a child process as the user nobody, with its own state folder;
// returns the run's outcome as its exit code (99 for an error that ended it), and its first message.
std::pair<int, std::string> TransferAsNobody(TransferStation& st, const std::string& project,
                                             const std::string& stateFolder) {
  const std::string said = st.prefix.Abs("said.txt");
  const pid_t child = fork();
  if (child == 0) {
    setenv("XDG_STATE_HOME", stateFolder.c_str(), 1);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(98);
    testing::ScriptedReporter reporter;
    ProjectTransfer transfer(st.files, platform::HostPlatform(), st.FF, st.samples, reporter);
    transfer.SetLockWait(std::chrono::milliseconds(0));
    int code = 99;
    TransferInputs in = st.Inputs(project);
    in.NormalMaster = "c:\\eplan5\\ns\\";  // the same folder in another spelling is the same station
    try {
      const TransferResult r = transfer.Run(in);
      code = static_cast<int>(r.Outcome);
      if (r.Outcome == TransferOutcome::Done && !r.ArgvWritten) code = 97;
    } catch (...) {
    }
    std::ofstream(said) << (reporter.messages.empty() ? "" : reporter.messages[0]);
    _exit(code);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, st.prefix.ReadFile(said).value_or("")};
}

TEST(TransferSafetyTest, TwoUsersWithTheirOwnStateFoldersShareTheLockAndLoseNoOriginal) {
  if (geteuid() != 0) GTEST_SKIP() << "running a transfer as another user needs root";
  TransferStation st;
  // Everyone may work on the station, except create files beside ARGV.DAT (a common share setup).
  fs::permissions(st.prefix.Root(), fs::perms::all);
  for (const auto& e : fs::recursive_directory_iterator(st.prefix.Root()))
    if (!e.is_symlink()) fs::permissions(e.path(), e.is_directory() ? fs::perms::all : fs::perms(0666));
  fs::permissions(st.prefix.Abs("drive_c/EPLAN5/O/DEMO/01"), fs::perms(0755));
  const std::string stateA = st.prefix.Abs("stateA"), stateB = st.prefix.Abs("stateB");
  for (const std::string& folder : {stateA, stateB}) fs::create_directories(folder);
  fs::permissions(stateB, fs::perms::all);

  // The first run, as root, pauses at its first backup copy.
  int paused[2], resume[2];
  ASSERT_EQ(pipe(paused), 0);
  ASSERT_EQ(pipe(resume), 0);
  const pid_t first = fork();
  if (first == 0) {
    umask(0);
    setenv("XDG_STATE_HOME", stateA.c_str(), 1);
    ProjectTransfer transfer(st.files, platform::HostPlatform(), st.FF, st.samples, st.reporter);
    transfer.SetHolder("velmorctl transfer");
    bool waited = false;
    transfer.SetProgress([&](size_t, size_t, const std::string&) {
      char byte = 'p';
      if (!waited && write(paused[1], &byte, 1) == 1) waited = read(resume[0], &byte, 1) == 1;
    });
    int code = 1;
    try {
      code = transfer.Run(st.Inputs()).Outcome == TransferOutcome::Done ? 0 : 2;
    } catch (...) {
    }
    _exit(code);
  }
  char byte = 0;
  ASSERT_EQ(read(paused[0], &byte, 1), 1);

  // The second, as nobody with a state folder of its own, finds the lock and names its holder.
  const platform::ProcessIdentity self = platform::HostPlatform().ThisProcess();
  const auto before = StationListing(st.prefix);
  const auto [busy, named] = TransferAsNobody(st, "ANLAGE2", stateB);
  EXPECT_EQ(busy, static_cast<int>(TransferOutcome::Busy));
  EXPECT_EQ(StationListing(st.prefix), before);
  const std::string holder =
      "Auf dieser Station läuft bereits eine Übertragung (velmorctl transfer, Benutzer " + self.user +
      ", Rechner " + self.host + ", Prozess " + std::to_string(first) + ", seit ";
  EXPECT_EQ(named.substr(0, holder.size()), holder);
  // With the lock file taken away it runs through while the first is paused: the backups, which
  // never replace a file, keep every original of both.
  fs::remove(st.prefix.Abs(kNs + "VELMOR.LCK"));
  EXPECT_EQ(TransferAsNobody(st, "ANLAGE2", stateB).first, static_cast<int>(TransferOutcome::Done));
  byte = 'g';
  ASSERT_EQ(write(resume[1], &byte, 1), 1);
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ExpectOriginalsSaved(st);
  EXPECT_EQ(st.Read(kNs + "SYM01.ASC"), "sym 01 neu");

  // ARGV.DAT, which nobody may write but not create files beside, is written in place.
  EXPECT_EQ(TransferAsNobody(st, "ANLAGE3", stateB).first, static_cast<int>(TransferOutcome::Done));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ANLAGE3\r\n");
  for (int fd : {paused[0], paused[1], resume[0], resume[1]}) close(fd);
}

// Two batches of one: each flushed before its original goes. The log holds the backup copies, their
// flushes and the deletions. (A failing flush or copy: FailingDiskTest.)
TEST(TransferSafetyTest, OriginalsGoOnlyOnceTheirBackupsAreOnTheDisk) {
  TransferStation st;
  std::vector<std::string> log;
  st.files.Watch = [&log](Call call, std::string_view path, std::string_view other) {
    const auto name = [](std::string_view p) { return std::string(p.substr(p.rfind('\\') + 1)); };
    const bool backups = (call == Call::CopyFile ? other : path).find("SIASC") != std::string_view::npos;
    if (call == Call::CopyFile && backups) log.push_back("copy " + name(path));
    if (call == Call::FlushFileSystem && backups) log.push_back("flush");
    if (call == Call::DeleteFile) log.push_back("delete " + name(path));
  };
  st.backupBatch = 1;
  st.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"copy ALT01.ASC", "flush", "delete ALT01.ASC", "copy SYM01.ASC",
                                           "flush", "delete SYM01.ASC"}));
}

TEST(TransferSafetyTest, LeftoversOfKilledRunsAreRemovedWhereTheTransferWrites) {
  TransferStation st;
  // Copies of a process that ended between writing their temporary files and renaming them.
  const std::string ended = std::to_string(testing::EndedProcess());
  for (const std::string& folder :
       {kNs, kSiasc, std::string("drive_c/EPLAN5/P/ANLAGE1.P/"), std::string("drive_c/EPLAN5/O/DEMO/01/")})
    st.prefix.WriteFile(folder + ".velmor-" + ended + "-7.tmp", "halb");
  const std::string live = ".velmor-" + std::to_string(getppid()) + "-8.tmp";
  st.prefix.WriteFile(kNs + live, "in Arbeit");
  st.reporter.answers = {true};
  st.Run();
  std::set<std::string> temporaries;
  for (const auto& e : fs::recursive_directory_iterator(st.prefix.Abs("drive_c")))
    if (e.path().extension() == ".tmp") temporaries.insert(e.path().filename());
  EXPECT_EQ(temporaries, std::set<std::string>{live});
}

}  // namespace
}  // namespace velmor
