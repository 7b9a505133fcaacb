// The transfer across runs and beside other runs: backups are never overwritten, one transfer per
// station, kills and retries lose no original, the order of backup, flush and delete, ARGV.DAT only
// for a real project, leftovers of killed runs.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/ProjectTransfer.h"
#include "core/StationLock.h"
#include "tests/common/FaultInjectingPlatform.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/core/KillAtCall.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
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

  struct Row {
    std::string name, expected;
    std::vector<std::string> used;
  };
  const Row rows[] = {
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

// A reporter for a child process: when asked, it tells the parent through one pipe and waits for the
// answer on another.
class PausingReporter final : public IReporter {
 public:
  PausingReporter(int toParent, int fromParent) : toParent_(toParent), fromParent_(fromParent) {}
  void ShowMessage(const std::string&) override {}
  bool Confirm(const std::string&) override {
    char byte = 'q';
    if (write(toParent_, &byte, 1) != 1 || read(fromParent_, &byte, 1) != 1) return false;
    return byte == 'j';
  }

 private:
  int toParent_, fromParent_;
};

TEST(TransferSafetyTest, OneTransferPerStationAndTheSecondNamesTheFirst) {
  TransferStation st;
  st.prefix.MakeDir("drive_c/EPLAN5/P/ANLAGE1.P");
  int asked[2], answer[2];
  ASSERT_EQ(pipe(asked), 0);
  ASSERT_EQ(pipe(answer), 0);
  const pid_t first = fork();
  if (first == 0) {
    // The first transfer takes the lock, then waits at the overwrite question.
    PausingReporter reporter(asked[1], answer[0]);
    ProjectTransfer transfer(st.FF, st.samples, reporter);
    transfer.SetHolder("velmorctl transfer");
    int code = 1;
    try {
      code = transfer.Run(st.Inputs()).Outcome == TransferOutcome::Done ? 0 : 2;
    } catch (...) {
    }
    _exit(code);
  }
  char byte = 0;
  ASSERT_EQ(read(asked[0], &byte, 1), 1);

  const auto before = StationListing(st.prefix);
  ProjectTransfer second(st.FF, st.samples, st.reporter);
  second.SetLockWait(std::chrono::milliseconds(150));
  TransferInputs in = st.Inputs("ANLAGE2");
  in.NormalMaster = "c:\\eplan5\\ns\\";  // the same folder in another spelling is the same station
  EXPECT_EQ(second.Run(in).Outcome, TransferOutcome::Busy);
  const std::string busy = "Auf dieser Station läuft bereits eine Übertragung (velmorctl transfer, Prozess " +
                           std::to_string(first) + ", seit ";
  ASSERT_EQ(st.reporter.messages.size(), 1u);
  EXPECT_EQ(st.reporter.messages[0].substr(0, busy.size()), busy);
  EXPECT_EQ(StationListing(st.prefix), before);

  byte = 'j';
  ASSERT_EQ(write(answer[1], &byte, 1), 1);
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ExpectOriginalsSaved(st);
  EXPECT_EQ(st.Read(kNs + "SYM02.ASC"), "sym 02 neu");
  // Now the station is free again.
  st.reporter.answers = {true};
  EXPECT_EQ(st.Run(in).Outcome, TransferOutcome::Done);
  for (int fd : {asked[0], asked[1], answer[0], answer[1]}) close(fd);
}

TEST(TransferSafetyTest, KilledTransfersAndTheirRetriesLoseNoOriginal) {
  TransferStation counted;
  counted.journal = false;
  const size_t changes = testing::CountChanges([&] { counted.Run(); });
  ASSERT_GT(changes, 10u);
  for (size_t n = 1; n <= changes; ++n) {
    SCOPED_TRACE("killed before change " + std::to_string(n));
    // Without the journal, which would hold the station until the killed run is taken back: the
    // versioned backups alone keep every original through the retries.
    TransferStation st;
    st.journal = false;
    ASSERT_TRUE(testing::RunKilledAt(n, [&] { st.Run(); }));
    ExpectOriginalsSaved(st);
    // Run again, as a user would after the kill, and then once more into another project.
    st.reporter.answers = {true};
    EXPECT_EQ(st.Run().Outcome, TransferOutcome::Done);
    ExpectOriginalsSaved(st);
    EXPECT_EQ(st.Run(st.Inputs("ANLAGE2")).Outcome, TransferOutcome::Done);
    ExpectOriginalsSaved(st);
    EXPECT_EQ(st.Read(kNs + "SYM01.ASC"), "sym 01 neu");
  }
}

// Logs the backup copies, their flushes and the deletions; the flush of the backups can be made to
// fail.
class OrderLog final : public platform::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    if (target.find("SIASC") != std::string_view::npos) log.push_back("copy " + Name(source));
    return inner_.CopyFile(source, target, failIfExists);
  }
  bool FlushFileSystem(std::string_view path) override {
    const bool backups = path.find("SIASC") != std::string_view::npos;
    if (backups) log.push_back("flush");
    return !(backups && failFlush) && inner_.FlushFileSystem(path);
  }
  bool DeleteFile(std::string_view path) override {
    log.push_back("delete " + Name(path));
    return inner_.DeleteFile(path);
  }
  std::vector<std::string> log;
  bool failFlush = false;

 private:
  static std::string Name(std::string_view path) { return std::string(path.substr(path.rfind('\\') + 1)); }
};

TEST(TransferSafetyTest, OriginalsGoOnlyOnceTheirBackupsAreOnTheDisk) {
  {
    // Two batches of one: each flushed before its original goes.
    TransferStation st;
    OrderLog log(platform::HostPlatform());
    platform::ScopedPlatform use(log);
    st.backupBatch = 1;
    st.Run();
    EXPECT_EQ(log.log, (std::vector<std::string>{"copy ALT01.ASC", "flush", "delete ALT01.ASC",
                                                 "copy SYM01.ASC", "flush", "delete SYM01.ASC"}));
  }

  // Backups that cannot be put on the disk do not count: the originals stay, unreplaced.
  TransferStation st;
  OrderLog log(platform::HostPlatform());
  log.failFlush = true;
  platform::ScopedPlatform use(log);
  const TransferResult r = st.Run();
  EXPECT_EQ(r.SymbolsBackedUp, 0u);
  EXPECT_EQ(r.KeptOriginals,
            (std::vector<KeptOriginal>{
                {"C:\\EPLAN5\\NS\\ALT01.ASC", false, "nicht gesichert, bleibt im Normstamm"},
                {"C:\\EPLAN5\\NS\\SYM01.ASC", false, "nicht gesichert, bleibt im Normstamm"}}));
  EXPECT_EQ(st.Read(kNs + "SYM01.ASC"), "sym 01 alte Fassung");
  EXPECT_EQ(r.FailedCopies, std::vector<std::string>{"D:\\EXF\\ASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC"});
}

TEST(TransferSafetyTest, ArgvNamesOnlyAProjectWhoseSamplesArrived) {
  TransferStation st;
  platform::FaultInjectingPlatform faulty(platform::HostPlatform());
  faulty.FailWhere(platform::FaultKind::CopyFile, "EXF0\\SEITEN.LST", platform::kErrorDiskFull);
  platform::ScopedPlatform use(faulty);
  const TransferResult r = st.Run();
  EXPECT_FALSE(r.ArgvWritten);
  EXPECT_EQ(r.ArgvNotWritten, "die Musterdatei SEITEN.LST fehlt im Projekt");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ALT\r\n");
  EXPECT_EQ(r.FailedCopies.size(), 1u);
}

TEST(TransferSafetyTest, LeftoversOfKilledRunsAreRemovedWhereTheTransferWrites) {
  TransferStation st;
  ASSERT_TRUE(testing::RunKilledAt(1, [&] {
    // A copy killed between writing its temporary file and renaming it.
    for (const std::string& folder :
         {kNs, kSiasc, std::string("drive_c/EPLAN5/P/ANLAGE1.P/"), std::string("drive_c/EPLAN5/O/DEMO/01/")})
      st.prefix.WriteFile(folder + ".velmor-" + std::to_string(getpid()) + "-7.tmp", "halb");
    platform::Os().DeleteFile("C:\\nothing");
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
