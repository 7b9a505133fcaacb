// The transfer across runs and beside other runs: backups are never overwritten, one transfer per
// station (for every user), kills and retries lose no original, the order of backup, flush and delete,
// ARGV.DAT only for a real project, leftovers of killed runs.
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
#include "tests/common/LockedByAnotherProcess.h"
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
  st.Run(st.Inputs("ANLAGE3"));
  // The plain name holds what the latest transfer saved, the versioned names every older original,
  // oldest first; a backup of the same content is not saved twice.
  EXPECT_EQ(st.Files(kSiasc),
            "ALT01.ASC=alt 01\nSYM01.ASC=sym 01 v3\nSYM01.~001.ASC=sym 01 alte Fassung\n"
            "SYM01.~002.ASC=sym 01 neu\nSYM02.ASC=sym 02 neu\nSYM03.ASC=sym 03 neu\n");
  EXPECT_EQ(st.Read(kNs + "SYM01.ASC"), "sym 01 v3");

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

  const std::string longStem(251, 'N');
  struct Row {
    std::string name, expected;
    std::vector<std::string> used;
  };
  const Row rows[] = {
      // No fixed count of digits, and a name at the limit gets a shorter stem.
      {"X.ASC", "X.~1000000000.ASC", {"X.~999999999.ASC"}},
      {longStem + ".ASC", std::string(246, 'N') + ".~001.ASC", {}},
      {longStem + ".ASC", std::string(245, 'N') + ".~1000.ASC", {std::string(246, 'N') + ".~999.ASC"}},
      {"X.ASC", "X.~001.ASC", {}},
      {"X.ASC",
       "X.~010.ASC",
       {"X.~001.ASC", "x.~009.asc", "X.~abc.ASC", "Y.~050.ASC", "X.~.ASC", "X.~002.EXF"}},
      {"X.ASC", "X.~1000.ASC", {"X.~999.ASC"}},
      {"A.B.ASC", "A.B.~003.ASC", {"A.B.~002.ASC"}},
      {"OHNE", "OHNE.~005", {"OHNE.~004"}},
  };
  for (const Row& row : rows) EXPECT_EQ(VersionedBackupName(row.name, row.used), row.expected) << row.name;
}

TEST(TransferSafetyTest, ProjectFoldersWindowsCannotHoldAreRefused) {
  const std::string folder247 = "C:\\" + std::string(239, 'P') + "\\AB.P";
  ASSERT_EQ(folder247.size(), 247u);
  struct Row {
    std::string folder;
    std::vector<std::string> files;
    std::optional<std::string> problem;
  };
  const Row rows[] = {
      {"C:\\EPLAN5\\P\\A.P", {"PROJEKT.KOP"}, std::nullopt},
      {"\\\\?\\unix\\tmp\\A.P", {}, std::nullopt},
      {"\\\\server\\share\\P\\A.P", {}, std::nullopt},
      {"C:\\EPLAN5\\NUL\\A.P", {}, "Ungültiger Projektpfad: C:\\EPLAN5\\NUL\\A.P"},
      {"C:\\com1.txt\\A.P", {}, "Ungültiger Projektpfad: C:\\com1.txt\\A.P"},
      {"C:\\P?\\A.P", {}, "Ungültiger Projektpfad: C:\\P?\\A.P"},
      {folder247, {std::string(11, 'N')}, std::nullopt},
      {folder247 + "X", {}, "Der Pfad ist zu lang (höchstens 247 Zeichen): " + folder247 + "X"},
      {folder247,
       {"S.EXF", std::string(12, 'N')},
       "Der Pfad ist zu lang (höchstens 259 Zeichen): " + folder247 + "\\" + std::string(12, 'N')},
      // Windows counts characters, not bytes.
      {"C:\\" + std::string(120, 'P') + "\\" + std::string(60, 'A') + "\\ÄÖÜ" + std::string(55, 'B') + ".P",
       {},
       std::nullopt},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ProjectFolderProblem(row.folder, row.files), row.problem) << row.folder;
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
    TransferOutcome outcome;
    std::string message;  // {journal}: the journal folder
    platform::ISystem* system = &platform::HostPlatform();
  };
  NearlyFullDisk full;
  const Row rows[] = {
      {"the lock of an ended process of this host", record(self.host, ended, "1"), TransferOutcome::Done, ""},
      {"the lock of a process that got its id later", record(self.host, parent, "1"), TransferOutcome::Done,
       ""},
      {"an empty lock file", [](TransferStation& st) { st.prefix.WriteFile(kNs + "VELMOR.LCK", ""); },
       TransferOutcome::Done, ""},
      {"the lock of a process of this host that runs", record(self.host, parent, parentStart),
       TransferOutcome::Busy,
       "Auf dieser Station läuft bereits eine Übertragung (velmorctl, Prozess " + parent +
           "). Bitte warten, bis sie beendet ist, und dann erneut übertragen."},
      {"the lock of another host", record("werkbank7", parent, parentStart), TransferOutcome::Busy,
       "Die Station ist von einem anderen Rechner aus gesperrt (velmorctl, Prozess " + parent +
           "). Läuft dort keine Übertragung mehr, die Sperrdatei C:\\EPLAN5\\NS\\VELMOR.LCK löschen und "
           "dann erneut übertragen."},
      {"a lock file that is a link", link(kNs + "VELMOR.LCK"), TransferOutcome::Busy,
       "Die Sperrdatei C:\\EPLAN5\\NS\\VELMOR.LCK kann nicht angelegt werden (Zugriff verweigert)"},
      {"a backup folder that is a link", link(kSiasc.substr(0, kSiasc.size() - 1)), TransferOutcome::Unsafe,
       "C:\\EPLAN5\\NS\\SIASC ist eine Verknüpfung nach D:\\AUSSEN: die Übertragung schreibt nicht durch "
       "sie."},
      {"a project folder that is a link", link("drive_c/EPLAN5/P/ANLAGE1.P"), TransferOutcome::Unsafe,
       "C:\\EPLAN5\\P\\ANLAGE1.P ist eine Verknüpfung nach D:\\AUSSEN: die Übertragung schreibt nicht durch "
       "sie."},
      {"an ARGV.DAT that is a link", link(argv), TransferOutcome::Unsafe,
       "C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT ist eine Verknüpfung nach D:\\AUSSEN: die Übertragung schreibt "
       "nicht durch sie."},
      {"an ARGV.DAT that a Windows program holds", held(argv), TransferOutcome::Busy,
       "Die Datei C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT wird von einem anderen Programm benutzt"},
      {"a journal folder without room", [](TransferStation&) {}, TransferOutcome::NoJournal,
       "Im Ordner für das Protokoll der Übertragung ({journal}) ist nicht genug Platz frei: 1 MiB nötig, 0 "
       "MiB frei. Ohne dieses Protokoll lässt sich die Übertragung nicht zurücknehmen; bitte Platz schaffen "
       "oder XDG_STATE_HOME auf einen Ordner mit mehr Platz setzen.",
       &full},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TransferStation st;
    st.prefix.WriteFile("drive_d/AUSSEN", "fremd");
    row.plant(st);
    const auto before = StationListing(st.prefix);
    ProjectTransfer transfer(st.files, *row.system, st.FF, st.samples, st.reporter);
    transfer.SetLockWait(std::chrono::milliseconds(0));
    EXPECT_EQ(transfer.Run(st.Inputs()).Outcome, row.outcome);
    std::string message = row.message;
    if (const size_t at = message.find("{journal}"); at != std::string::npos)
      message.replace(at, 9, JournalFolderHost(platform::HostPlatform()));
    if (row.outcome == TransferOutcome::Done) {
      // Taken over, and removed as the run let go.
      EXPECT_FALSE(st.prefix.Exists(kNs + "VELMOR.LCK"));
      EXPECT_TRUE(st.reporter.messages.empty());
    } else {
      EXPECT_EQ(st.reporter.messages, std::vector<std::string>{message});
      EXPECT_EQ(StationListing(st.prefix), before);
    }
    windowsLock.reset();
  }
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

TEST(TransferSafetyTest, OriginalsGoOnlyOnceTheirBackupsAreOnTheDisk) {
  {
    // Two batches of one: each flushed before its original goes. The log holds the backup copies,
    // their flushes and the deletions.
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

  // Backups that cannot be put on the disk do not count: the originals stay, unreplaced.
  const std::string kNotOnDisk =
      "nicht gesichert, bleibt im Normstamm (die Sicherung ist nicht auf dem Datenträger: Schreibfehler)";
  TransferStation st;
  st.files.FailWhere(Call::FlushFileSystem, "SIASC", platform::kErrorWriteFault);
  const TransferResult r = st.Run();
  EXPECT_EQ(r.SymbolsBackedUp, 0u);
  EXPECT_EQ(r.KeptOriginals, (std::vector<KeptOriginal>{{"C:\\EPLAN5\\NS\\ALT01.ASC", false, kNotOnDisk},
                                                        {"C:\\EPLAN5\\NS\\SYM01.ASC", false, kNotOnDisk}}));
  EXPECT_EQ(st.Read(kNs + "SYM01.ASC"), "sym 01 alte Fassung");
  EXPECT_EQ(r.FailedCopies,
            std::vector<std::string>{"D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC (das "
                                     "Original dort ist nicht gesichert)"});
}

TEST(TransferSafetyTest, ArgvNamesOnlyAProjectWhoseEveryFileArrived) {
  struct Row {
    std::string file, failed, why;
  };
  const Row rows[] = {
      {"EXF0\\SEITEN.LST", "C:\\VELMOR\\EXF0\\SEITEN.LST -> C:\\EPLAN5\\P\\ANLAGE1.P\\SEITEN.LST",
       "die Musterdatei SEITEN.LST fehlt im Projekt"},
      {"NORM\\SYM02.ASC", "D:\\EXF\\ASC\\NORM\\SYM02.ASC -> C:\\EPLAN5\\NS\\SYM02.ASC",
       "das Projekt ist unvollständig, 1 Datei wurde nicht kopiert"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    TransferStation st;
    st.files.FailWhere(Call::CopyFile, row.file, platform::kErrorDiskFull);
    const TransferResult r = st.Run();
    EXPECT_FALSE(r.ArgvWritten);
    EXPECT_EQ(r.ArgvNotWritten, row.why);
    EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ALT\r\n");
    EXPECT_EQ(r.FailedCopies, std::vector<std::string>{row.failed + " (Datenträger voll)"});
  }
}

TEST(TransferSafetyTest, LeftoversOfKilledRunsAreRemovedWhereTheTransferWrites) {
  TransferStation st;
  ASSERT_TRUE(testing::RunKilledAt(1, [&](platform::IFileSystem& files) {
    // A copy killed between writing its temporary file and renaming it.
    for (const std::string& folder :
         {kNs, kSiasc, std::string("drive_c/EPLAN5/P/ANLAGE1.P/"), std::string("drive_c/EPLAN5/O/DEMO/01/")})
      st.prefix.WriteFile(folder + ".velmor-" + std::to_string(getpid()) + "-7.tmp", "halb");
    files.DeleteFile("C:\\nothing");
  }));
  const std::string live = ".velmor-" + std::to_string(getppid()) + "-8.tmp";
  st.prefix.WriteFile(kNs + live, "in Arbeit");
  st.reporter.answers = {true};
  st.Run();
  std::set<std::string> temporaries;
  for (const auto& e : fs::recursive_directory_iterator(st.prefix.Abs("drive_c")))
    if (e.path().extension() == ".tmp") temporaries.insert(e.path().filename());
  EXPECT_EQ(temporaries, std::set<std::string>{live});
}

TEST(TransferSafetyTest, TheReportCountsTheFailuresAndNamesTheOriginalsThatOnlyStayedLast) {
  TransferResult r;
  r.FailedCopies = {"D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC"};
  r.KeptOriginals = {{"C:\\EPLAN5\\NS\\ALT01.ASC", true, "gesichert, aber nicht entfernt (schreibgeschützt)"},
                     {"C:\\EPLAN5\\NS\\SYM01.ASC", false, "nicht gesichert, bleibt im Normstamm"}};
  r.ArgvNotWritten = "die Musterdatei SEITEN.LST fehlt im Projekt";
  r.Error = "Das Verzeichnis kann nicht erstellt werden";
  const TransferReport report = ReportTransfer(r);
  EXPECT_TRUE(report.Failed);
  EXPECT_EQ(report.Lines, (std::vector<std::string>{
                              "Bei der Übertragung gab es 4 Fehler:",
                              "nicht kopiert: D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC",
                              "nicht gesichert, bleibt im Normstamm: C:\\EPLAN5\\NS\\SYM01.ASC",
                              "ARGV.DAT nicht geschrieben: die Musterdatei SEITEN.LST fehlt im Projekt",
                              "Das Verzeichnis kann nicht erstellt werden",
                              "gesichert, aber nicht entfernt (schreibgeschützt): C:\\EPLAN5\\NS\\ALT01.ASC",
                          }));
  r = TransferResult{};
  r.KeptOriginals = {
      {"C:\\EPLAN5\\NS\\ALT01.ASC", true, "gesichert, aber nicht entfernt (schreibgeschützt)"}};
  EXPECT_FALSE(ReportTransfer(r).Failed);
}

}  // namespace
}  // namespace velmor
