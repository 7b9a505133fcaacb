#include "core/ProjectTransfer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "tests/core/ProjectTransferTestSupport.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using testing::Snapshot;
using testing::TransferStation;

constexpr const char* kProject = "drive_c/EPLAN5/P/ANLAGE1.P/";

TEST(ProjectTransferTest, FirstTransferBuildsTheProjectAndMovesTheOldSymbols) {
  TransferStation st;
  size_t lastDone = 0, lastTotal = 0;
  ProjectTransfer transfer(st.FF, st.samples, st.reporter);
  transfer.SetTreeReload([&](const std::string& root) { st.reloads.push_back(root); });
  transfer.SetProgress([&](size_t done, size_t total, const std::string&) {
    EXPECT_GT(done, lastDone);
    lastDone = done;
    lastTotal = total;
  });
  const TransferResult r = transfer.Run(st.Inputs());

  EXPECT_EQ(r.Outcome, TransferOutcome::Done);
  EXPECT_EQ(r.ProjectFolder, "C:\\EPLAN5\\P\\ANLAGE1.P");
  EXPECT_TRUE(st.reporter.messages.empty());
  EXPECT_TRUE(st.reporter.questions.empty());
  EXPECT_EQ(st.reloads, std::vector<std::string>{"C:\\EPLAN5\\P\\"});

  // Sample files without the excluded ones (SH1.TXT too: an exclusion without extension covers every
  // extension) and without the sample folder's sub-folders; EXF data with its header, bitmap and frame;
  // nothing else.
  std::set<std::string> project;
  for (const auto& e : fs::directory_iterator(st.prefix.Abs(kProject))) project.insert(e.path().filename());
  EXPECT_EQ(project, (std::set<std::string>{"PROJEKT.KOP", "SEITEN.LST", "EPL_ASC.EXF", "S001.EXF",
                                            "LOGO.BMP", "RAHMEN1.EXP"}));
  EXPECT_EQ(st.Read(std::string(kProject) + "PROJEKT.KOP"), "Kopf\r\n");

  // The old symbols sit in the backup folder, the new ones (flat, also from the sub-folder named SIASC,
  // but never SIASC.ASC) in the normal master data folder.
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SIASC/ALT01.ASC"), "alt 01");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SIASC/SYM01.ASC"), "sym 01 alte Fassung");
  EXPECT_FALSE(st.prefix.Exists("drive_c/EPLAN5/NS/ALT01.ASC"));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM01.ASC"), "sym 01 neu");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM02.ASC"), "sym 02 neu");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM03.ASC"), "sym 03 neu");
  EXPECT_FALSE(st.prefix.Exists("drive_c/EPLAN5/NS/SIASC.ASC"));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/NOTE.TXT"), "bleibt");

  EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ANLAGE1\r\n");
  EXPECT_TRUE(r.ArgvWritten);
  EXPECT_EQ(r.SymbolsBackedUp, 2u);
  EXPECT_EQ(r.FilesCopied, 2u + 4u + 3u);
  EXPECT_TRUE(r.FailedCopies.empty());
  EXPECT_TRUE(r.KeptSymbols.empty());
  EXPECT_EQ(lastDone, 2u + 2u + 4u + 3u);
  EXPECT_EQ(lastTotal, lastDone);
}

TEST(ProjectTransferTest, SecondTransferIntoTheSameNameAsksBeforeOverwriting) {
  TransferStation st;
  st.Run();
  st.prefix.WriteFile(std::string(kProject) + "PROJEKT.KOP", "vom Benutzer geändert");
  st.prefix.WriteFile("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT", "ANDERES\r\n");

  {
    SCOPED_TRACE("Abbrechen: the backup has run, the project and ARGV.DAT stay as they are");
    st.reporter.answers = {false};
    const TransferResult r = st.Run();
    EXPECT_EQ(r.Outcome, TransferOutcome::Cancelled);
    EXPECT_EQ(st.reporter.questions, std::vector<std::string>{"vorhandene EXF-Daten überschreiben ??"});
    EXPECT_EQ(st.Read(std::string(kProject) + "PROJEKT.KOP"), "vom Benutzer geändert");
    EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ANDERES\r\n");
    EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SIASC/SYM02.ASC"), "sym 02 neu");
    EXPECT_FALSE(st.prefix.Exists("drive_c/EPLAN5/NS/SYM02.ASC"));
    EXPECT_EQ(st.reloads.size(), 1u);
  }
  {
    SCOPED_TRACE("OK: the sample list has kept both runs' entries, every sample is copied again");
    st.reporter.answers = {true};
    const TransferResult r = st.Run();
    EXPECT_EQ(r.Outcome, TransferOutcome::Done);
    EXPECT_EQ(st.samples.Count(), 6);
    EXPECT_EQ(st.Read(std::string(kProject) + "PROJEKT.KOP"), "Kopf\r\n");
    EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM02.ASC"), "sym 02 neu");
    EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ANLAGE1\r\n");
    EXPECT_EQ(r.FilesCopied, 6u + 4u + 3u);
  }
}

TEST(ProjectTransferTest, WithoutSamplesNothingChanges) {
  struct Row {
    const char* name;
    std::vector<std::string> sampleFolderFiles;  // empty: no sample folder at all
  };
  for (const Row& row :
       {Row{"missing EXF0", {}}, Row{"only excluded files", {"SH1", "SH2.TXT", "X.DAT", "Y.CUM"}}}) {
    SCOPED_TRACE(row.name);
    TransferStation st;
    fs::remove_all(st.prefix.Abs("drive_c/VELMOR/EXF0"));
    for (const std::string& f : row.sampleFolderFiles) st.prefix.WriteFile("drive_c/VELMOR/EXF0/" + f, "x");
    const auto before = Snapshot(st.prefix);
    const TransferResult r = st.Run();
    EXPECT_EQ(r.Outcome, TransferOutcome::NoSamples);
    EXPECT_EQ(st.reporter.messages, std::vector<std::string>{"Keine Musterdateien gefunden"});
    EXPECT_EQ(Snapshot(st.prefix), before);
  }
}

TEST(ProjectTransferTest, ProjectNamesThatLeaveTheProjectFolderAreRefusedBeforeAnythingChanges) {
  for (const char* name :
       {"..\\X", "../X", "A\\B", "C:X", "..", ".", "A*", "A?", "A|B", "A<B", "A\"B", "A\tB", "Ω-Anlage"}) {
    SCOPED_TRACE(name);
    TransferStation st;
    const auto before = Snapshot(st.prefix);
    const TransferResult r = st.Run(st.Inputs(name));
    EXPECT_EQ(r.Outcome, TransferOutcome::InvalidName);
    EXPECT_EQ(st.reporter.messages, std::vector<std::string>{"Ungültiger Projektname: " + std::string(name)});
    EXPECT_EQ(Snapshot(st.prefix), before);
  }
  EXPECT_TRUE(IsValidProjectName(""));
  EXPECT_TRUE(IsValidProjectName("Anlage Süd-1.2"));
  EXPECT_TRUE(IsValidProjectName("..."));
}

TEST(ProjectTransferTest, EmptyNameGivesDotPFolderAndEmptyArgvFile) {
  TransferStation st;
  const TransferResult r = st.Run(st.Inputs(""));
  EXPECT_EQ(r.Outcome, TransferOutcome::Done);
  EXPECT_TRUE(st.prefix.Exists("drive_c/EPLAN5/P/.P/PROJEKT.KOP"));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "");
}

TEST(ProjectTransferTest, WithoutHeaderOnlyTheSymbolsAreCopied) {
  TransferStation st;
  fs::remove(st.prefix.Abs("drive_d/EXF/EPL_ASC.EXF"));
  const TransferResult r = st.Run();
  EXPECT_EQ(r.Outcome, TransferOutcome::Done);
  EXPECT_FALSE(st.prefix.Exists(std::string(kProject) + "S001.EXF"));
  EXPECT_FALSE(st.prefix.Exists(std::string(kProject) + "RAHMEN1.EXP"));
  EXPECT_TRUE(st.prefix.Exists(std::string(kProject) + "PROJEKT.KOP"));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM02.ASC"), "sym 02 neu");
}

TEST(ProjectTransferTest, NormalMasterFolderWithoutBackslashGetsItsBackupBesideIt) {
  TransferStation st;
  TransferInputs in = st.Inputs();
  in.NormalMaster = "C:\\EPLAN5\\NS";
  st.Run(in);
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NSSIASC/ALT01.ASC"), "alt 01");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/SYM02.ASC"), "sym 02 neu");
}

TEST(ProjectTransferTest, EmptyNormalMasterFolderWithSymbolsToCopyEndsWithTheFolderError) {
  TransferStation st;
  TransferInputs in = st.Inputs();
  in.NormalMaster = "";
  try {
    st.Run(in);
    FAIL() << "no error";
  } catch (const VelmorError& e) {
    EXPECT_STREQ(e.what(), "Das Verzeichnis kann nicht erstellt werden");
  }
  EXPECT_TRUE(st.prefix.Exists(std::string(kProject) + "PROJEKT.KOP"));
  EXPECT_TRUE(st.prefix.Exists(std::string(kProject) + "RAHMEN1.EXP"));
  EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"), "ALT\r\n");
  EXPECT_EQ(st.Read("drive_c/EPLAN5/NS/ALT01.ASC"), "alt 01");
}

TEST(ProjectTransferTest, ArgvFileIsRewrittenOnlyWhenPresent) {
  {
    SCOPED_TRACE("missing: nothing is written");
    TransferStation st;
    fs::remove(st.prefix.Abs("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"));
    const TransferResult r = st.Run();
    EXPECT_EQ(r.Outcome, TransferOutcome::Done);
    EXPECT_FALSE(r.ArgvWritten);
    EXPECT_FALSE(st.prefix.Exists("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"));
  }
  {
    SCOPED_TRACE("a name outside ASCII is written in the ANSI code page");
    TransferStation st;
    st.Run(st.Inputs("Anlage Süd"));
    EXPECT_EQ(st.Read("drive_c/EPLAN5/O/DEMO/01/ARGV.DAT"),
              "Anlage S\xFC"
              "d\r\n");
  }
}

TEST(ProjectTransferTest, ProjectPathDrivesResolvesAgainstTheCurrentFolder) {
  TransferStation st;
  st.prefix.MakeDir("drive_c/work");
  const fs::path saved = fs::current_path();
  fs::current_path(st.prefix.Abs("drive_c/work"));
  TransferInputs in = st.Inputs();
  in.ProjectPath = "Drives";
  const TransferResult r = st.Run(in);
  fs::current_path(saved);
  EXPECT_EQ(r.ProjectFolder, "C:\\work\\Drives\\ANLAGE1.P");
  EXPECT_TRUE(st.prefix.Exists("drive_c/work/Drives/ANLAGE1.P/PROJEKT.KOP"));
  EXPECT_EQ(st.reloads, std::vector<std::string>{"Drives\\"});
}

TEST(ProjectTransferTest, DryRunChangesNothingAndPlansWhatTheRealRunDoes) {
  TransferStation st;
  st.samples.Clear();
  const auto before = Snapshot(st.prefix);
  const TransferResult plan = st.Run(st.Inputs(), /*dryRun=*/true);
  EXPECT_EQ(Snapshot(st.prefix), before);
  EXPECT_TRUE(st.reloads.empty());

  st.samples.Clear();
  const TransferResult real = st.Run();
  EXPECT_EQ(plan.Actions, real.Actions);
  EXPECT_EQ(plan.FilesCopied, real.FilesCopied);
  EXPECT_EQ(plan.SymbolsBackedUp, real.SymbolsBackedUp);
  ASSERT_GE(plan.Actions.size(), 4u);
  EXPECT_EQ(DescribeAction(plan.Actions.front()), "Ordner anlegen: C:\\EPLAN5\\NS\\SIASC");
  EXPECT_EQ(DescribeAction(plan.Actions[1]),
            "sichern: C:\\EPLAN5\\NS\\ALT01.ASC -> C:\\EPLAN5\\NS\\SIASC\\ALT01.ASC");
  EXPECT_EQ(DescribeAction(plan.Actions[2]), "löschen: C:\\EPLAN5\\NS\\ALT01.ASC");
  EXPECT_EQ(DescribeAction(plan.Actions.back()),
            "schreiben: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT = \"ANLAGE1\"");
}

}  // namespace
}  // namespace velmor
