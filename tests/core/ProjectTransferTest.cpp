#include "core/ProjectTransfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/TransferJournal.h"
#include "platform/Error.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using testing::StationListing;
using testing::TransferStation;
using Lines = std::vector<std::string>;

const std::string kProject = "drive_c/EPLAN5/P/ANLAGE1.P/";
const std::string kArgv = "drive_c/EPLAN5/O/DEMO/01/ARGV.DAT";

// The first transfer builds the project and moves the old symbols; a second into the same name asks
// before any change.
TEST(ProjectTransferTest, FirstAndSecondTransferIntoTheSameName) {
  TransferStation st;
  size_t lastDone = 0, lastTotal = 0;
  st.progress = [&](size_t done, size_t total, const std::string&) {
    EXPECT_GT(done, lastDone);
    lastDone = done;
    lastTotal = total;
  };
  // Samples without the excluded ones (SH1.TXT too) and without the sample folder's sub-folders; the
  // EXF data with its header, bitmap and frame; nothing else. The old symbols sit in the backup
  // folder, the new ones (flat, also from the sub-folder named SIASC, but never SIASC.ASC) in the
  // normal master data folder.
  EXPECT_EQ(st.Did(), testing::Golden("the first transfer"));
  EXPECT_EQ(st.reloads, Lines{"C:\\EPLAN5\\P\\"});
  EXPECT_EQ(lastDone, 2u + 2u + 4u + 3u);
  EXPECT_EQ(lastTotal, lastDone);

  st.progress = nullptr;
  st.prefix.WriteFile(kProject + "PROJEKT.KOP", "vom Benutzer geändert");
  st.prefix.WriteFile(kArgv, "ANDERES\r\n");

  // Abbrechen: the station stays exactly as it was, the symbols included.
  const auto before = StationListing(st.prefix);
  st.reporter.answers = {false};
  EXPECT_EQ(st.Run().Outcome, TransferOutcome::Cancelled);
  EXPECT_EQ(StationListing(st.prefix), before);

  // OK: the sample list has kept every run's entries, every sample is copied again. The first run's
  // backups stay: those of another content under their versioned names.
  st.reporter.answers = {true};
  EXPECT_EQ(st.Did(), testing::Golden("a second transfer into the same name, answered OK"));
  EXPECT_EQ(st.samples.Count(), 6);
  EXPECT_EQ(st.reloads.size(), 1u);
}

TEST(ProjectTransferTest, RefusalsChangeNothing) {
  struct Row {
    std::string name;                                       // project name
    Lines sampleFolder;                                     // files of EXF0; "-" for no EXF0 at all
    std::function<void(TransferInputs&)> change = nullptr;  // other inputs than the station's
  };
  std::vector<Row> rows = {{"ANLAGE1", {"-"}}, {"ANLAGE1", {"SH1", "SH2.TXT", "X.DAT", "Y.CUM"}}};
  for (const char* name : {"..\\X", "../X", "A\\B", "C:X", "..", ".", "A*", "A?", "A|B", "A<B", "A\"B",
                           "A\tB", "Ω-Anlage", "CON", "nul.txt", "Lpt1", "COM9 ", "", "   "})
    rows.push_back({name, {}});
  rows.push_back({std::string(300, 'A'), {}});
  // No place for the project: nothing is created, not even relative to the current folder.
  rows.push_back({"no EPLAN folder", {}, [](TransferInputs& in) { in.EplanDir.clear(); }});
  rows.push_back({"no normal master", {}, [](TransferInputs& in) { in.NormalMaster.clear(); }});
  for (const char* path :
       {"Label10", "Drives", "", "EPLAN5\\P", "C:\\EPLAN5\\FEHLT", "C:\\EPLAN5\\NS\\NOTE.TXT"})
    rows.push_back({std::string("path ") + path, {}, [path](TransferInputs& in) { in.ProjectPath = path; }});
  // Each row's name, or its project name in brackets, with what the user was told.
  std::string told;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + " " + ::testing::PrintToString(row.sampleFolder));
    TransferStation st;
    if (!row.sampleFolder.empty()) fs::remove_all(st.prefix.Abs("drive_c/VELMOR/EXF0"));
    for (const std::string& f : row.sampleFolder)
      if (f != "-") st.prefix.WriteFile("drive_c/VELMOR/EXF0/" + f, "x");
    st.prefix.MakeDir("drive_c/EPLAN5");
    fs::current_path(st.prefix.Abs("drive_c/EPLAN5"));  // where a relative project path would lead
    const auto before = StationListing(st.prefix);
    TransferInputs in = st.Inputs(row.change ? "ANLAGE1" : row.name);
    if (row.change) row.change(in);
    const TransferResult r = st.Run(in);
    EXPECT_NE(r.Outcome, TransferOutcome::Done);
    EXPECT_EQ(StationListing(st.prefix), before);
    told += row.change ? row.name : "[" + row.name + "]";
    for (const std::string& message : st.reporter.messages) told += " > " + message;
    told += "\n";
  }
  EXPECT_EQ(told, testing::Golden("refusals"));
  for (const char* name : {"", "Anlage Süd-1.2", "...", "CONSOLE", "COM0", "LPT10", "AUX-2"})
    EXPECT_TRUE(IsValidProjectName(name)) << name;
}

TEST(ProjectTransferTest, InputVariants) {
  {
    SCOPED_TRACE("no header: no EXF data and no frames; no ARGV.DAT: none written; a name outside ASCII");
    TransferStation st;
    fs::remove(st.prefix.Abs("drive_d/EXF/EPL_ASC.EXF"));
    st.prefix.WriteFile(kArgv, "");
    st.Run(st.Inputs("Süd"));
    EXPECT_EQ(st.Files("drive_c/EPLAN5/P/Süd.P"), "PROJEKT.KOP=Kopf\r\n\nSEITEN.LST=Seiten\r\n\n");
    EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM02.ASC"), "sym 02 neu");
    EXPECT_EQ(st.Read(kArgv), "S\xFC\x64\r\n");  // Windows-1252
    fs::remove(st.prefix.Abs(kArgv));
    st.reporter.answers = {true};
    EXPECT_FALSE(st.Run(st.Inputs("Süd")).ArgvWritten);
    EXPECT_FALSE(st.prefix.Exists(kArgv));
  }
  {
    SCOPED_TRACE("normal master folder without backslash");
    TransferStation st;
    TransferInputs in = st.Inputs();
    in.NormalMaster = "C:\\EPLAN5\\NS";
    st.Run(in);
    EXPECT_EQ(st.Files("drive_c/EPLAN5/NSSIASC"), "ALT01.ASC=alt 01\nSYM01.ASC=sym 01 alte Fassung\n");
  }
}

// A dry run keeps no journal and plans what the real run does. That it changes nothing: velmorctl's
// DryRunPrintsThePlanAndChangesNothing and the transfer's file role in TransferPlatformTest.
TEST(ProjectTransferTest, DryRunPlansWhatTheRealRunDoes) {
  TransferStation st;
  const TransferResult plan = st.Run(st.Inputs(), /*dryRun=*/true);
  EXPECT_TRUE(st.reloads.empty());
  EXPECT_TRUE(ListJournals(platform::HostPlatform(), platform::HostPlatform()).empty());

  st.samples.Clear();
  const TransferResult real = st.Run();
  EXPECT_EQ(plan.Actions, real.Actions);
  EXPECT_EQ(plan.FilesCopied, real.FilesCopied);
  EXPECT_EQ(plan.SymbolsBackedUp, real.SymbolsBackedUp);
}

}  // namespace
}  // namespace velmor
