// A scripted reporter, a listing of a station, and a small EPLAN station for the transfer tests whose
// outcomes are compared with the goldens of tests/core/outcomes.txt.
#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ProjectTransfer.h"
#include "core/Reporter.h"
#include "search/FindFileEx.h"
#include "support/TovrelUtil.h"
#include "tests/Texts.h"
#include "tests/common/LockedByAnotherProcess.h"
#include "tests/common/TempPrefix.h"
#include "tests/common/TestPlatform.h"

namespace velmor::testing {

// Records every message and question; answers the questions from answers, then "Abbrechen".
class ScriptedReporter final : public IReporter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    questions.push_back(text);
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::deque<bool> answers;
};

// The text with every from replaced by to.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// A station as a change must leave it, or undo must give it back: every folder and file below the
// drives of the prefix folder root, one line each, files with their bytes, permission bits,
// hidden/system attribute and last-write time (in Windows' 100 ns steps), a line break in a file
// written "\n". As one text, a failed comparison shows just the lines that differ.
inline std::string StationListing(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (const char* drive : {"/drive_c", "/drive_d"}) {
    for (const auto& e : fs::recursive_directory_iterator(root + drive)) {
      const std::string rel = fs::relative(e.path(), root).string();
      // The station's lock file: a run killed while holding it leaves it for the next run to take
      // over, so it tells nothing about what a change did to the station.
      if (e.path().filename() == "VELMOR.LCK") continue;
      if (e.is_directory()) {
        tree[rel] = "/";
        continue;
      }
      std::ostringstream read;
      read << std::ifstream(e.path(), std::ios::binary).rdbuf();
      const std::string content = Replaced(read.str(), "\n", "\\n");
      struct stat st {};
      stat(e.path().c_str(), &st);
      char dos[16] = "";
      const ssize_t n = getxattr(e.path().c_str(), "user.DOSATTRIB", dos, sizeof dos - 1);
      tree[rel] = "= " + content + " mode " + std::to_string(st.st_mode & 0777) + " dos " +
                  std::string(dos, n > 0 ? static_cast<size_t>(n) : 0) + " mtime " +
                  std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec / 100);
    }
  }
  std::string text;
  for (const auto& [path, entry] : tree) text += path + entry + "\n";
  return text;
}
inline std::string StationListing(const TempPrefix& prefix) {
  return StationListing(prefix.Root());
}

// A station's listing with only each path and content, for what need not be compared exactly.
inline std::string Contents(const std::string& listing) {
  return std::regex_replace(listing, std::regex(" mode .*"), "");
}

// The files of one folder (not its sub-folders) by name, with their content; none for a folder that
// does not exist.
inline std::map<std::string, std::string> FileMap(const TempPrefix& prefix, const std::string& folder) {
  std::map<std::string, std::string> files;
  std::error_code none;
  for (const auto& e : std::filesystem::directory_iterator(prefix.Abs(folder), none))
    if (e.is_regular_file()) files[e.path().filename()] = prefix.ReadFile(e.path()).value_or("");
  return files;
}
// The same as one "NAME=content" line each.
inline std::string FilesIn(const TempPrefix& prefix, const std::string& folder) {
  std::string text;
  for (const auto& [name, content] : FileMap(prefix, folder)) text += name + "=" + content + "\n";
  return text;
}

// A field of a case table with each "{N*c}" written out as N times the character c.
inline std::string Expanded(std::string field) {
  static const std::regex run("\\{([0-9]+)\\*(.)\\}");
  for (std::smatch m; std::regex_search(field, m, run);)
    field.replace(static_cast<size_t>(m.position()), static_cast<size_t>(m.length()),
                  std::string(std::stoul(m.str(1)), m.str(2)[0]));
  return field;
}

inline std::string Named(TransferOutcome outcome) {
  static const char* const names[] = {"Done",    "InvalidName", "NoSamples",    "Cancelled", "Busy",
                                      "Pending", "NoJournal",   "NotCreatable", "Unsafe"};
  return names[static_cast<int>(outcome)];
}

// The golden of tests/core/outcomes.txt with the name.
inline std::string Golden(const std::string& name) {
  return Text(name, TestDataPath("core/outcomes.txt"));
}

// C:\EPLAN5 with NS (two old symbols and a text file), P and O\DEMO\01\ARGV.DAT; the sample project
// C:\VELMOR\EXF0 (two project files, excluded files, a sub-folder); EXF data in D:\EXF with symbols in
// D:\EXF\ASC (one in a sub-folder, one named SIASC.ASC, one inside a sub-folder SIASC), frames in
// D:\EXF\EXP.
class TransferStation {
 public:
  TransferStation() {
    std::istringstream station(Golden("the transfer station"));
    for (std::string line; std::getline(station, line);)
      prefix.WriteFile(line.substr(0, line.find("= ")),
                       Replaced(line.substr(line.find("= ") + 2), "\\n", "\n"));
    prefix.MakeDir("drive_c/EPLAN5/P");
    ConfigureSampleSearch(FF, samples);
    SetSampleLocation(FF, "C:\\VELMOR\\");
  }

  TransferInputs Inputs(const std::string& name = "ANLAGE1") const {
    return {name,         "C:\\EPLAN5\\P", "C:\\EPLAN5\\NS\\",
            "D:\\EXF",    "D:\\EXF\\ASC",  "D:\\EXF\\EXP",
            "C:\\EPLAN5", "DEMO",          "01"};
  }

  // A transfer on the station's file role (which a test may make fail calls), or on another one.
  TransferResult Run(const TransferInputs& in, bool dryRun = false) { return RunOn(files, in, dryRun); }
  TransferResult Run() { return Run(Inputs()); }
  TransferResult RunOn(platform::IFileSystem& on) { return RunOn(on, Inputs()); }
  TransferResult RunOn(platform::IFileSystem& on, const TransferInputs& in, bool dryRun = false) {
    ProjectTransfer transfer(on, platform::HostPlatform(), FF, samples, reporter);
    transfer.SetDryRun(dryRun);
    transfer.SetBackupBatch(backupBatch);
    transfer.SetTreeReload([this](const std::string& root) { reloads.push_back(root); });
    if (progress) transfer.SetProgress(progress);
    return transfer.Run(in);
  }

  // A transfer on the station's file role whose error, when one ended it, is in the result's Error.
  TransferResult Try(const TransferInputs& in) {
    try {
      return Run(in);
    } catch (const TransferError& e) {
      return e.Result();
    }
  }
  TransferResult Try() { return Try(Inputs()); }

  // What a transfer on the station's file role did, as one text to compare with a golden: its
  // outcome (or "TransferError" when an error ended it), each message ("> ") and question ("? ") of
  // the run, the report's lines (its journal's id written ID), the project folder and the counts, then
  // the contents of C:\EPLAN5.
  std::string Did(const TransferInputs& in) {
    reporter.messages.clear();
    reporter.questions.clear();
    const TransferResult r = Try(in);
    std::string text = (r.Error.empty() ? Named(r.Outcome) : "TransferError") + "\n";
    for (const std::string& message : reporter.messages) text += "> " + message + "\n";
    for (const std::string& question : reporter.questions) text += "? " + question + "\n";
    for (const std::string& line : ReportTransfer(r).Lines)
      text += (r.JournalId.empty() ? line : Replaced(line, r.JournalId, "ID")) + "\n";
    text += r.ProjectFolder + ": " + std::to_string(r.FilesCopied) + " kopiert, " +
            std::to_string(r.SymbolsBackedUp) + " gesichert" +
            (r.ArgvWritten ? ", ARGV.DAT geschrieben\n" : "\n");
    std::istringstream listing(Contents(StationListing(prefix)));
    for (std::string line; std::getline(listing, line);)
      if (line.starts_with("drive_c/EPLAN5/")) text += line + "\n";
    return text;
  }
  std::string Did() { return Did(Inputs()); }

  std::optional<std::string> Read(const std::string& path) const { return prefix.ReadFile(path); }
  std::string Files(const std::string& folder) const { return FilesIn(prefix, folder); }

  TempPrefix prefix;
  TestPlatform files;
  TFindFileEx FF{files};
  TQxstringlist samples;
  ScriptedReporter reporter;
  std::vector<std::string> reloads;
  size_t backupBatch = 256;
  std::function<void(size_t done, size_t total, const std::string& file)> progress;
};

// Both original symbol files of the station are still there, in the normal master data folder or in
// its backup folder (under their names or versioned ones).
inline void ExpectOriginalsSaved(const TransferStation& st) {
  const std::string saved = st.Files("drive_c/EPLAN5/NS/") + st.Files("drive_c/EPLAN5/NS/SIASC/");
  for (const char* original : {"=alt 01\n", "=sym 01 alte Fassung\n"})
    EXPECT_NE(saved.find(original), std::string::npos) << original << " lost";
}

}  // namespace velmor::testing
