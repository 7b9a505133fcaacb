// velmorctl journal and undo on the demo station, and real kill -9 runs of velmorctl transfer.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/Texts.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/core/CoreTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;
using JournalCommandTest = DemoStationTest;

std::string JournalId(const std::string& out) {
  std::smatch m;
  const std::regex line("Zurücknehmen mit: velmorctl undo ([0-9-]+)\n");
  return std::regex_search(out, m, line) ? m[1].str() : std::string();
}

TEST_F(JournalCommandTest, TransfersAreListedAndTakenBackInReverseOrder) {
  const auto before = testing::StationListing(dir);
  CliRun r = Velmorctl({"journal"});
  EXPECT_EQ(Shown(r).rfind("exit 0\n--\nKeine Übertragungen im Protokoll (", 0), 0u) << Shown(r);

  const std::string first = JournalId(Velmorctl({"transfer", "--yes", "--quiet"}).out);
  const std::string second = JournalId(Velmorctl({"transfer", "--name", "ZWEI", "--quiet"}).out);
  ASSERT_FALSE(first.empty() || second.empty());
  // A second station keeps its journals in the same state folder; its transfer comes last.
  const std::string other = prefix.Root() + "/other";
  std::string error;
  ASSERT_TRUE(CreateDemoStation(platform::HostPlatform(), platform::HostPlatform(), other, error)) << error;
  const auto otherBefore = testing::StationListing(other);
  {
    testing::ScopedEnv there("WINEPREFIX", other);
    ASSERT_FALSE(JournalId(Velmorctl({"transfer", "--yes", "--quiet"}).out).empty());
  }
  // The listing with its times, sizes and the temporary folder as words.
  std::string listed =
      std::regex_replace(Shown(Velmorctl({"journal"})),
                         std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"), "JJJJ-MM-TT hh:mm:ss");
  listed = std::regex_replace(listed, std::regex(" +[0-9,]+ (B|KiB)"), " GRÖSSE");
  EXPECT_EQ(testing::Replaced(listed, prefix.Root(), "TEMP"),
            testing::Text("velmorctl journal of two stations"));

  EXPECT_EQ(Velmorctl({"undo", first}).code, kExitFailed);  // the later one comes first

  const auto afterSecond = testing::StationListing(dir);
  r = Velmorctl({"undo", "--dry-run"});
  EXPECT_EQ(testing::StationListing(dir), afterSecond);
  // The saved copies lie in the state folder, under names of their content.
  EXPECT_EQ(std::regex_replace(Shown(r), std::regex("\\(aus [^)]*\\)"), "(aus GESICHERT)"),
            testing::Text("velmorctl undo --dry-run"));

  // The station is the prefix's folder, however WINEPREFIX spells it.
  fs::create_directory_symlink(dir, prefix.Root() + "/link");
  for (const std::string& spelling : {dir + "/", prefix.Root() + "/link"}) {
    testing::ScopedEnv spelled("WINEPREFIX", spelling);
    EXPECT_EQ(Shown(Velmorctl({"undo"})), "exit 0\nÜbertragung ID (C:\\EPLAN5\\P\\" +
                                              std::string(spelling.back() == '/' ? "ZWEI" : "DEMO1") +
                                              ".P) zurückgenommen, 20 Schritte\n");
  }
  EXPECT_EQ(testing::StationListing(dir), before);
  {
    testing::ScopedEnv there("WINEPREFIX", other);
    EXPECT_EQ(Velmorctl({"undo"}).code, kExitOk);
    EXPECT_EQ(testing::StationListing(other), otherBefore);
  }

  EXPECT_EQ(Transcript({"undo", first}) + Transcript({"undo"}),
            testing::Text("velmorctl undo, all taken back"));
  // Taken back, they may go; the interrupted ones would stay.
  EXPECT_EQ(std::regex_replace(Shown(Velmorctl({"journal", "--prune", "--keep", "0"})),
                               std::regex("[0-9,]+ KiB"), "N"),
            "exit 0\n3 Übertragungen entfernt, N frei\n");
  EXPECT_EQ(Replayed("velmorctl journal and undo, wrong usage"),
            testing::Text("velmorctl journal and undo, wrong usage"));
}

// Starts velmorctl transfer as its own process, kills it after a while; true when it was killed
// before it ended.
bool KilledTransfer(std::chrono::milliseconds after) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execl(VELMOR_CTL_PROGRAM, VELMOR_CTL_PROGRAM, "transfer", "--yes", "--quiet", "--name", "GETOETET",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(after);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

TEST_F(JournalCommandTest, AKilledTransferHoldsTheStationUntilItIsTakenBack) {
  for (int i = 0; i < 300; ++i) {
    prefix.WriteFile(At("drive_c/EPLAN5/NS/K" + std::to_string(i) + ".ASC"), "original " + std::to_string(i));
    prefix.WriteFile(At("drive_d/EXF/ASC/K" + std::to_string(i + 150) + ".ASC"), "neu " + std::to_string(i));
  }
  const auto before = testing::StationListing(dir);
  int killed = 0;
  for (const int ms : {15, 40, 80, 150, 300}) {
    SCOPED_TRACE("killed after " + std::to_string(ms) + " ms");
    if (KilledTransfer(std::chrono::milliseconds(ms))) {
      ++killed;
      const CliRun refused = Velmorctl({"transfer", "--yes", "--quiet", "--name", "DANACH"});
      if (refused.code != kExitOk) {
        EXPECT_NE(refused.err.find("Bitte zuerst zurücknehmen: velmorctl undo "), std::string::npos)
            << refused.err;
      } else {
        // Killed before its journal had a header: it changed nothing, and this one ran. Take it back.
        EXPECT_EQ(Velmorctl({"undo"}).code, kExitOk);
      }
    }
    const CliRun undo = Velmorctl({"undo"});
    EXPECT_TRUE(undo.code == kExitOk ||
                undo.err == "Es gibt keine Übertragung, die zurückgenommen werden kann.\n")
        << undo.err;
    EXPECT_EQ(testing::StationListing(dir), before);
  }
  EXPECT_GE(killed, 2);
}

}  // namespace
}  // namespace velmor::cli
