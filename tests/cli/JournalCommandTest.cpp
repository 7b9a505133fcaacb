// velmorctl journal and undo on the demo station, and real kill -9 runs of velmorctl transfer.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;
using JournalCommandTest = DemoStationTest;

// The station's drives as undo must give them back: folders, and files with bytes, permissions,
// hidden/system attribute and last-write time.
std::map<std::string, std::string> Station(const std::string& dir) {
  std::map<std::string, std::string> tree;
  for (const char* drive : {"drive_c", "drive_d"}) {
    for (const auto& e : fs::recursive_directory_iterator(dir + "/" + drive)) {
      const std::string rel = fs::relative(e.path(), dir).string();
      if (e.is_directory()) {
        tree[rel] = "/";
        continue;
      }
      std::ostringstream s;
      s << std::ifstream(e.path(), std::ios::binary).rdbuf();
      struct stat st {};
      stat(e.path().c_str(), &st);
      char dos[16] = "";
      const ssize_t n = getxattr(e.path().c_str(), "user.DOSATTRIB", dos, sizeof dos - 1);
      tree[rel] = s.str() + " " + std::to_string(st.st_mode & 0777) + " " + std::string(dos, n > 0 ? n : 0) +
                  " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec / 100);
    }
  }
  return tree;
}

std::string JournalId(const std::string& out) {
  std::smatch m;
  const std::regex line("Zurücknehmen mit: velmorctl undo ([0-9-]+)\n");
  return std::regex_search(out, m, line) ? m[1].str() : std::string();
}

TEST_F(JournalCommandTest, TransfersAreListedAndTakenBackInReverseOrder) {
  const auto before = Station(dir);
  CliRun r = Velmorctl({"journal"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Keine Übertragungen im Protokoll (", 0), 0u) << r.err;

  const std::string first = JournalId(Velmorctl({"transfer", "--yes", "--quiet"}).out);
  const std::string second = JournalId(Velmorctl({"transfer", "--name", "ZWEI", "--quiet"}).out);
  ASSERT_FALSE(first.empty() || second.empty());
  r = Velmorctl({"journal"});
  EXPECT_TRUE(std::regex_match(
      r.out,
      std::regex(second +
                 "  [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}  abgeschlossen    DEMO/01  "
                 "C:\\\\EPLAN5\\\\P\\\\ZWEI\\.P\n" +
                 first +
                 "  [0-9-]{10} [0-9:]{8}  abgeschlossen    DEMO/01  C:\\\\EPLAN5\\\\P\\\\DEMO1\\.P\n")))
      << r.out;

  r = Velmorctl({"undo", first});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Die spätere Übertragung " + second + " auf dieser Station baut auf " + first +
                       " auf: zuerst sie zurücknehmen (velmorctl undo " + second + ").\n");

  const auto afterSecond = Station(dir);
  r = Velmorctl({"undo", "--dry-run"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Station(dir), afterSecond);
  for (const char* line : {"entfernen: C:\\EPLAN5\\P\\ZWEI.P\\PROJEKT.KOP\n",
                           "zurückbenennen: C:\\EPLAN5\\NS\\SIASC\\SYM01.ASC -> C:\\EPLAN5\\NS\\SYM01.ASC\n",
                           "wiederherstellen: C:\\EPLAN5\\O\\DEMO\\01\\ARGV.DAT (aus ",
                           "Ordner entfernen: C:\\EPLAN5\\P\\ZWEI.P\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_TRUE(
      std::regex_search(r.out, std::regex("\nProbelauf, nichts geändert: Übertragung " + second +
                                          " \\(C:\\\\EPLAN5\\\\P\\\\ZWEI\\.P\\), [0-9]+ Schritte\n$")))
      << r.out;

  r = Velmorctl({"undo"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("Übertragung " + second +
                        " \\(C:\\\\EPLAN5\\\\P\\\\ZWEI\\.P\\) zurückgenommen, [0-9]+ Schritte\n")))
      << r.out;
  EXPECT_EQ(Velmorctl({"undo"}).code, kExitOk);
  EXPECT_EQ(Station(dir), before);

  r = Velmorctl({"undo", first});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Die Übertragung " + first + " ist bereits zurückgenommen.\n");
  r = Velmorctl({"undo"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Es gibt keine Übertragung, die zurückgenommen werden kann.\n");
  EXPECT_EQ(Velmorctl({"undo", "a", "b"}).code, kExitUsage);
  EXPECT_EQ(Velmorctl({"journal", "x"}).code, kExitUsage);
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
  const auto before = Station(dir);
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
    EXPECT_EQ(Station(dir), before);
  }
  EXPECT_GE(killed, 2);
}

}  // namespace
}  // namespace velmor::cli
