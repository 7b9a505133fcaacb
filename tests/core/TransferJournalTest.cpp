// Every transfer can be taken back exactly: after a complete transfer, after two in reverse order,
// after a kill at any moment, after an undo that was itself killed, and after the journal could not be
// written. "Exactly" is the station's listing: every folder, and every file with its bytes,
// permissions, hidden/system bits and last-write time.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "core/TransferJournal.h"
#include "core/TransferUndo.h"
#include "support/PathRoutines.h"
#include "tests/common/TestPlatform.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::StationListing;
using testing::TransferStation;

// S000.ASC, S001.ASC, ...
std::string Symbol(size_t i) {
  return "S" + std::to_string(1000 + i).substr(1) + ".ASC";
}

// The test station with n more originals (some write-protected, some hidden and system), older backups
// in SIASC (some of another content, some the same), n new symbols of which half replace originals, and
// an existing project ANLAGE1.P with a file of the user's; the overwrite questions are answered OK.
void Enrich(TransferStation& st, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const std::string name = Symbol(i);
    const std::string path = "drive_c/EPLAN5/NS/" + name;
    st.prefix.WriteFile(path, "original " + std::to_string(i));
    if (i % 13 == 5) setxattr(st.prefix.Abs(path).c_str(), "user.DOSATTRIB", "0x6", 3, 0);
    if (i % 17 == 3) fs::permissions(st.prefix.Abs(path), fs::perms::owner_read, fs::perm_options::replace);
    if (i < n / 5)
      st.prefix.WriteFile("drive_c/EPLAN5/NS/SIASC/" + name, "ältere Sicherung " + std::to_string(i));
    else if (i < n / 4)
      st.prefix.WriteFile("drive_c/EPLAN5/NS/SIASC/" + name, "original " + std::to_string(i));
  }
  for (size_t i = n / 2; i < n + n / 2; ++i)
    st.prefix.WriteFile("drive_d/EXF/ASC/" + Symbol(i), "neu " + std::to_string(i));
  st.prefix.WriteFile("drive_c/EPLAN5/P/ANLAGE1.P/PROJEKT.KOP", "vom Benutzer");
  st.prefix.WriteFile("drive_c/EPLAN5/P/ANLAGE1.P/NOTIZEN.TXT", "bleibt");
  st.reporter.answers = {true, true, true};
}

// An undo on the station's file role, or on another one.
UndoResult UndoOn(platform::IFileSystem& files, TransferStation& st, const std::string& id = "",
                  bool dryRun = false) {
  TransferUndo undo(files, platform::HostPlatform(), st.reporter);
  undo.SetDryRun(dryRun);
  undo.SetLockWait(std::chrono::milliseconds(100));
  return undo.Run(id);
}
UndoResult Undo(TransferStation& st, const std::string& id = "", bool dryRun = false) {
  return UndoOn(st.files, st, id, dryRun);
}

std::vector<JournalInfo> AllJournals() {
  return ListJournals(platform::HostPlatform(), platform::HostPlatform());
}

// What an undo said, as one text: its outcome, then each warning, conflict and failure, with the
// folder of the station's journals shown as "STATION" and a content's hash as "HASH".
std::string Said(const UndoResult& r) {
  std::string text = r.Outcome == UndoOutcome::Done ? "Done\n" : "Incomplete\n";
  for (const auto* list : {&r.Warnings, &r.Conflicts, &r.Failures})
    for (const std::string& line : *list)
      text += testing::Replaced(line, FolderOf(r.Journal.Folder), "STATION") + "\n";
  text = std::regex_replace(text, std::regex("-[0-9a-f]{16}\\b"), "-HASH");
  return std::regex_replace(text, std::regex("[0-9]+ Bytes"), "N Bytes");
}

// The journals in the order ListJournals gives them, one "state project" line each.
std::string Journals() {
  std::string text;
  for (const JournalInfo& info : AllJournals())
    text += JournalStateText(info.State) + " " + info.ProjectFolder + "\n";
  return text;
}

// What differs between the contents of two listings of a station: "- " and each line only
// in before, then "+ " and each line only in after.
std::string Differences(const std::string& before, const std::string& after) {
  auto lines = [](const std::string& listing) {
    std::set<std::string> all;
    std::istringstream in(testing::Contents(listing));
    for (std::string line; std::getline(in, line);) all.insert(line);
    return all;
  };
  const std::set<std::string> was = lines(before), is = lines(after);
  std::string text;
  for (const std::string& line : was)
    if (!is.contains(line)) text += "- " + line + "\n";
  for (const std::string& line : is)
    if (!was.contains(line)) text += "+ " + line + "\n";
  return text;
}

std::vector<std::string> Described(const std::vector<UndoStep>& steps) {
  std::vector<std::string> lines;
  for (const UndoStep& step : steps) lines.push_back(DescribeUndoStep(step));
  return lines;
}

TEST(TransferJournalTest, TwoCompleteTransfersAreTakenBackInReverseOrder) {
  TransferStation st;
  Enrich(st, 40);
  const auto before = StationListing(st.prefix);
  const TransferResult first = st.Run(st.Inputs("ANLAGE1"));
  ASSERT_FALSE(first.JournalId.empty());
  const auto between = StationListing(st.prefix);
  // Refused before its first change (a file holds the project folder's name): nothing to take back.
  st.prefix.WriteFile("drive_c/EPLAN5/P/ABGELEHNT.P", "eine Datei");
  ASSERT_EQ(st.Run(st.Inputs("ABGELEHNT")).Outcome, TransferOutcome::NotCreatable);
  fs::remove(st.prefix.Abs("drive_c/EPLAN5/P/ABGELEHNT.P"));
  // (How the second transfer's backups sit beside the first one's: the golden of a third transfer.)
  const TransferResult second = st.Run(st.Inputs("ANLAGE2"));

  st.reporter.messages.clear();
  EXPECT_EQ(Undo(st, first.JournalId).Outcome, UndoOutcome::Refused);
  EXPECT_EQ(st.reporter.messages, std::vector<std::string>{"Die spätere Übertragung " + second.JournalId +
                                                           " auf dieser Station baut auf " + first.JournalId +
                                                           " auf: zuerst sie zurücknehmen (velmorctl undo " +
                                                           second.JournalId + ")."});

  // That a plan is what the undo then does is held in ADamagedJournalIsReportedAndNeverMarkedUndone;
  // that it changes nothing, and what undo says of a journal taken back and of none left, in
  // velmorctl's TransfersAreListedAndTakenBackInReverseOrder.
  const UndoResult undoSecond = Undo(st);
  EXPECT_EQ(undoSecond.Outcome, UndoOutcome::Done) << ::testing::PrintToString(undoSecond.Conflicts);
  EXPECT_EQ(StationListing(st.prefix), between);

  EXPECT_EQ(Undo(st).Outcome, UndoOutcome::Done);
  EXPECT_EQ(StationListing(st.prefix), before);
  EXPECT_EQ(Journals(),
            "zurückgenommen C:\\EPLAN5\\P\\ANLAGE1.P\nabgelehnt C:\\EPLAN5\\P\\ABGELEHNT.P\n"
            "zurückgenommen C:\\EPLAN5\\P\\ANLAGE2.P\n");
}

// A kill at every change of a transfer of a few hundred symbol files, then undo; in shards, so that
// they run side by side. Under the sanitizers, which find memory faults rather than more moments, every
// fifth change.
class KilledTransferTest : public ::testing::TestWithParam<int> {};
constexpr int kShards = 12;
constexpr size_t kSymbols = 120;
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kStride = 5 * kShards;
#else
constexpr size_t kStride = kShards;
#endif

TEST_P(KilledTransferTest, UndoGivesTheStationBackWhereverTheTransferWasKilled) {
  TransferStation counted;
  Enrich(counted, kSymbols);
  counted.backupBatch = 48;
  const size_t changes =
      testing::CountChanges([&](platform::IFileSystem& files) { counted.RunOn(files); }, false);
  ASSERT_GT(changes, 4 * kSymbols);
  for (size_t n = 1 + static_cast<size_t>(GetParam()); n <= changes; n += kStride) {
    SCOPED_TRACE("killed before change " + std::to_string(n) + " of " + std::to_string(changes));
    TransferStation st;
    Enrich(st, kSymbols);
    st.backupBatch = 48;
    const auto before = StationListing(st.prefix);
    ASSERT_TRUE(testing::RunKilledAt(
        n, [&](platform::IFileSystem& files) { st.RunOn(files); }, false));
    st.files.SkipFlushes = true;
    // That the journal holds the station until the undo is held by AJournalThatCannotBeWritten... below,
    // velmorctl's AKilledTransferHoldsTheStationUntilItIsTakenBack and the window's killed transfers.
    // Killed before its journal had a header, the transfer has changed nothing to undo.
    if (!AllJournals().empty()) {
      const UndoResult r = Undo(st);
      ASSERT_EQ(r.Outcome, UndoOutcome::Done)
          << ::testing::PrintToString(r.Conflicts) << ::testing::PrintToString(r.Failures);
    }
    ASSERT_EQ(StationListing(st.prefix), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, KilledTransferTest, ::testing::Range(0, kShards));

TEST(TransferJournalTest, AnUndoKilledAtAnyMomentIsFinishedByTheNext) {
  auto transfer = [](TransferStation& st) {
    testing::CountChanges([&](platform::IFileSystem& files) { st.RunOn(files); }, false);
  };
  TransferStation counted;
  Enrich(counted, 24);
  transfer(counted);
  const size_t changes = testing::CountChanges(
      [&](platform::IFileSystem& files) { ASSERT_EQ(UndoOn(files, counted).Outcome, UndoOutcome::Done); },
      false);
  ASSERT_GT(changes, 40u);
  for (size_t n = 1; n <= changes; ++n) {
    SCOPED_TRACE("undo killed before change " + std::to_string(n));
    TransferStation st;
    Enrich(st, 24);
    const auto before = StationListing(st.prefix);
    transfer(st);
    ASSERT_TRUE(testing::RunKilledAt(
        n, [&](platform::IFileSystem& files) { UndoOn(files, st); }, false));
    // Killed after its last step, the undo has marked the journal already.
    if (AllJournals().at(0).State != JournalState::Undone) {
      const UndoResult r = Undo(st);
      ASSERT_EQ(r.Outcome, UndoOutcome::Done)
          << ::testing::PrintToString(r.Conflicts) << ::testing::PrintToString(r.Failures);
    }
    ASSERT_EQ(StationListing(st.prefix), before);
  }
}

TEST(TransferJournalTest, AJournalThatCannotBeWrittenStopsTheTransferWhichCanThenBeUndone) {
  size_t writes = 0;
  {
    TransferStation st;
    st.Run();
    writes = st.files.Calls(Call::FileWrite);
  }
  ASSERT_GE(writes, 4u);
  for (size_t n = 1; n <= writes; ++n) {
    SCOPED_TRACE("journal write " + std::to_string(n) + " fails");
    TransferStation st;
    const auto before = StationListing(st.prefix);
    {
      st.files.FailNth(Call::FileWrite, n, platform::kErrorDiskFull);
      try {
        const TransferResult r = st.Run();
        // Only the journal's first write, before any change, ends the run without an error.
        EXPECT_EQ(n, 1u);
        EXPECT_EQ(r.Outcome, TransferOutcome::NoJournal);
        EXPECT_EQ(StationListing(st.prefix), before);
        continue;
      } catch (const TransferError& e) {
        EXPECT_NE(std::string(e.what()).find("Das Protokoll der Übertragung kann nicht geschrieben werden"),
                  std::string::npos)
            << e.what();
      }
      st.files.Reset();
    }
    EXPECT_EQ(st.Run(st.Inputs("ANLAGE2")).Outcome, TransferOutcome::Pending);
    EXPECT_EQ(Undo(st).Outcome, UndoOutcome::Done);
    EXPECT_EQ(StationListing(st.prefix), before);
  }
  // ARGV.DAT whose old text cannot be kept in the journal: FailingDiskTest.
}

// The fingerprint of a file does not depend on how the file is read.
TEST(TransferJournalTest, AFileHasTheFingerprintOfItsBytes) {
  testing::TempPrefix prefix;
  std::string bytes(200001, 'x');
  bytes[123457] = 'y';
  prefix.WriteFile("drive_c/GROSS.BIN", bytes);
  EXPECT_EQ(FingerprintOfFile(platform::HostPlatform(), "C:\\GROSS.BIN"), FingerprintOf(bytes));
  bytes[123457] = 'z';
  EXPECT_NE(FingerprintOfFile(platform::HostPlatform(), "C:\\GROSS.BIN"), FingerprintOf(bytes));
}

// A transfer that runs for a while holds its station against undo and other transfers by its journal,
// also with its lock file removed; once it is gone, it is taken back.
TEST(TransferJournalTest, UndoAndTransferBesideARunningTransferAreRefused) {
  TransferStation st;
  Enrich(st, 40);
  const auto before = StationListing(st.prefix);
  const pid_t running = testing::StartKilledAt(
      60, [&](platform::IFileSystem& files) { st.RunOn(files); }, false, /*hold=*/true);
  for (int i = 0; i < 500 && AllJournals().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(Journals(), "läuft C:\\EPLAN5\\P\\ANLAGE1.P\n");
  st.reporter.messages.clear();
  fs::remove(st.prefix.Abs("drive_c/EPLAN5/NS/VELMOR.LCK"));
  EXPECT_EQ(Undo(st).Outcome, UndoOutcome::Refused);
  EXPECT_EQ(Undo(st, AllJournals()[0].Id).Outcome, UndoOutcome::Refused);
  EXPECT_EQ(st.Run(st.Inputs("ANLAGE2")).Outcome, TransferOutcome::Pending);
  std::string told;
  for (const std::string& message : st.reporter.messages) told += message + "\n";
  told = testing::Replaced(testing::Replaced(told, AllJournals()[0].Id, "ID"), AllJournals()[0].Time, "ZEIT");
  EXPECT_EQ(testing::Replaced(told, std::to_string(running), "PID"),
            testing::Golden("undo and transfer beside a running transfer"));

  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  EXPECT_EQ(Said(Undo(st)), "Done\n");
  EXPECT_EQ(StationListing(st.prefix), before);
}

// What undo can give back comes back exactly (the spelling of a renamed backup, the time of a file
// written with the content it had); what it cannot, or what the user changed since, stays where it is
// and is said. A journal damaged since it was written is taken back as far as it can be read and said
// to be damaged; a saved copy that does not hold what was saved is not put back. Left in part, the
// transfer stays the latest: undo runs again once the user has seen to it. Each case's golden holds
// what the undo said, the journal's state, and what of the transfer is left; the plan of each undo is
// what it then does.
TEST(TransferJournalTest, UndoGivesBackExactlyAndSaysWhatItCannot) {
  // A change before the transfer, or after it (with the host folder of the transfer's journal).
  using Change = std::function<void(TransferStation & st, const std::string& journal)>;
  // Rewrites the journal's log with the lines edit leaves.
  auto rewrite = [](const std::string& log, const std::function<void(std::vector<std::string>&)>& edit) {
    std::vector<std::string> all;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    edit(all);
    std::ofstream out(log, std::ios::trunc);
    for (const std::string& line : all) out << line << "\n";
  };
  const std::vector<std::tuple<std::string, std::string, Change, Change>> cases = {
      {"undo: an older backup in lower case; ARGV.DAT gets its own text", "ALT",
       [](TransferStation& st, const std::string&) {
         st.prefix.WriteFile("drive_c/EPLAN5/NS/SIASC/sym01.asc", "ältere Sicherung");
         fs::last_write_time(st.prefix.Abs("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"),
                             fs::file_time_type::clock::now() - std::chrono::hours(900));
       },
       nullptr},
      {"undo: the user changed a symbol and added a file to the project", "ANLAGE1", nullptr,
       [](TransferStation& st, const std::string&) {
         st.prefix.WriteFile("drive_c/EPLAN5/NS/SYM02.ASC", "vom Benutzer geändert");
         st.prefix.WriteFile("drive_c/EPLAN5/P/ANLAGE1.P/EIGENES.TXT", "neu vom Benutzer");
       }},
      {"undo: the user deleted SIASC", "ANLAGE1", nullptr,
       [](TransferStation& st, const std::string&) {
         fs::remove_all(st.prefix.Abs("drive_c/EPLAN5/NS/SIASC"));
       }},
      {"undo: the user renamed the project folder", "ANLAGE1", nullptr,
       [](TransferStation& st, const std::string&) {
         fs::rename(st.prefix.Abs("drive_c/EPLAN5/P/ANLAGE1.P"), st.prefix.Abs("drive_c/EPLAN5/P/ANDERS.P"));
       }},
      {"undo of a damaged journal: cut after its header", "ANLAGE1", nullptr,
       [&](TransferStation&, const std::string& journal) {
         rewrite(journal + "/log", [](std::vector<std::string>& all) {
           while (all.back().rfind("K\t", 0) != 0) all.pop_back();
         });
       }},
      {"undo of a damaged journal: a byte flipped in a record", "ANLAGE1", nullptr,
       [&](TransferStation&, const std::string& journal) {
         rewrite(journal + "/log", [](std::vector<std::string>& all) { all.at(22)[3] ^= 1; });
       }},
      {"undo of a damaged journal: a torn end after its end mark", "ANLAGE1", nullptr,
       [](TransferStation&, const std::string& journal) {
         // A power cut can leave a torn or garbled end; the journal still reads as complete.
         std::ofstream(journal + "/log", std::ios::app)
             << "C\tC:\\X\t1\t2\tdeadbeef\n"
             << std::string(9000, 'x') << "\nC\tC:\\EPLAN5\\NS\\SYM";
         EXPECT_EQ(Journals(), "abgeschlossen C:\\EPLAN5\\P\\ANLAGE1.P\n");
       }},
      {"undo of a damaged journal: a saved copy altered", "ANLAGE1", nullptr,
       [](TransferStation&, const std::string& journal) {
         for (const auto& e : fs::directory_iterator(journal + "/../saved"))
           std::ofstream(e.path()) << "verändert";
       }},
  };
  for (const auto& [name, project, before, after] : cases) {
    SCOPED_TRACE(name);
    TransferStation st;
    if (before) before(st, "");
    const auto original = StationListing(st.prefix);
    st.Run(st.Inputs(project));
    if (after) after(st, st.prefix.Abs(*platform::HostPlatform().ToHost(AllJournals().at(0).Folder)));
    const std::vector<std::string> plan = Described(Undo(st, "", true).Steps);
    const UndoResult r = Undo(st);
    EXPECT_EQ(Described(r.Steps), plan);
    if (r.Outcome == UndoOutcome::Done) {
      EXPECT_EQ(StationListing(st.prefix), original);
    }
    EXPECT_EQ(Said(r) + Journals() + Differences(original, StationListing(st.prefix)), testing::Golden(name));
  }
}

// The journal keeps itself: a content that transfers overwrite again and again is saved once, a sparse
// file is saved and given back sparse; prune takes old complete journals, never an interrupted one.
TEST(TransferJournalTest, EachContentIsSavedOnceSparseStaysSparseAndPruneKeepsWhatIsLeftToTakeBack) {
  TransferStation st;
  constexpr uint64_t kMiB = 1 << 20;
  st.prefix.WriteFile("drive_c/VELMOR/EXF0/GROSS.KOP", std::string(20 * kMiB, 'g'));
  const std::string argv = st.prefix.Abs("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT");
  fs::resize_file(argv, 64 * kMiB);  // a few bytes of data, the rest a hole
  auto blocks = [](const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return static_cast<uint64_t>(info.st_blocks) * 512;
  };
  auto stored = [&] {
    uint64_t bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(JournalFolderHost(platform::HostPlatform())))
      if (e.is_regular_file()) bytes += blocks(e.path());
    return bytes;
  };
  const auto before = StationListing(st.prefix);
  st.reporter.answers = {true, true, true, true, true};
  ASSERT_EQ(st.Run().Outcome, TransferOutcome::Done);
  EXPECT_LT(stored(), kMiB);
  EXPECT_EQ(Said(Undo(st)), "Done\n");
  EXPECT_EQ(StationListing(st.prefix), before);
  EXPECT_LT(blocks(argv), kMiB);

  for (int i = 0; i < 4; ++i) ASSERT_EQ(st.Run().Outcome, TransferOutcome::Done);
  EXPECT_GT(stored(), 20 * kMiB);
  EXPECT_LT(stored(), 21 * kMiB);
  const auto afterFour = StationListing(st.prefix);
  ASSERT_TRUE(testing::RunKilledAt(
      40, [&](platform::IFileSystem& files) { st.RunOn(files); }, false));

  const PruneResult pruned =
      PruneJournals(platform::HostPlatform(), platform::HostPlatform(), "", {0, std::nullopt});
  EXPECT_EQ(pruned.Removed, 5u);
  EXPECT_EQ(Journals(), "unterbrochen C:\\EPLAN5\\P\\ANLAGE1.P\n");
  EXPECT_EQ(Said(Undo(st)), "Done\n");
  EXPECT_EQ(StationListing(st.prefix), afterFour);
}

}  // namespace
}  // namespace velmor
