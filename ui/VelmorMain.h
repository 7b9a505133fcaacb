// The tool's one window: the EPLAN paths, the EXF source folders, the project name, the project folder
// tree and the transfer button, with every user action wired to the core services.
//
// Start-up order: the constructor builds the layout and runs FormCreate; the first showing restores the
// placement and the five stored texts (FormStorage1), whose change handlers run then, and moves the
// window onto the screen when the placement would leave part of it off; the window then activates
// itself (also without a window manager) and FormActivate reads the EPLAN environment and the symbol
// list.
//
// FormActivate runs again when the window becomes active after another window of the program was
// active: a box or a dialog. Coming back from another program does not run it, nor does the closing of
// a window that only reported on the work (the transfer's progress, the list of failed files), nor of a
// box that the activation work itself showed (so a box about a missing APD file cannot come back
// forever). A folder clicked in the tree therefore stays the project path until then.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QTabWidget>
#include <QToolButton>
#include <memory>
#include <string>

#include "core/EplanEnvironment.h"
#include "core/ProjectTransfer.h"
#include "core/Reporter.h"
#include "core/TransferUndo.h"
#include "search/FindFileEx.h"
#include "support/TovrelUtil.h"

class QGroupBox;
class QAction;
class QLineEdit;
class QTimer;
class QWindow;

namespace velmor::ui {

class TQxEditBtn;
class TDirectoryEdit;
class TFormStorage;
class TKtDirTree21;

// The window's side of IReporter: plain boxes and the confirmation box through Messages(), on the
// window's thread whichever thread the service runs on.
class WindowReporter : public IReporter {
 public:
  void ShowMessage(const std::string& text) override;
  bool Confirm(const std::string& text) override;

 private:
  static bool ConfirmHere(const std::string& text);
};

class TVelmorMainFrm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TVelmorMainFrm(QWidget* parent = nullptr);
  ~TVelmorMainFrm() override;

  // --- window state --------------------------------------------------------------------------------
  EplanEnvironment Environment;  // EplanDir, CustomerId, UserId, StationNumber and the APD folders
  std::string ExeDir;            // the program's folder, with trailing backslash
  // The platform the window hands to every service it runs: the host's.
  platform::IPlatform& Host = platform::Os();
  TFindFileEx FF{Host};  // the sample search
  std::unique_ptr<TQxstringlist> SampleFiles;

  // --- controls (owned by the window as Qt children; object names as below) ------------------------
  QWidget* Panel1;
  QToolButton* QuastelSpeedButton1;
  QWidget* Panel2;
  QTabWidget* GETEXF;
  QWidget* TabSheet1;
  QGroupBox* GroupBox1;
  QLabel *Label5, *Label6, *Label7, *Label8;
  QLineEdit *MakroPfad, *NormalStamm, *LagerPfad, *FormularPfad;
  QGroupBox* GroupBox2;
  QLabel *Label2, *Label3, *Label4;
  TQxEditBtn *ExfVErz, *AscVerz, *ExpVerz;
  QGroupBox* GroupBox3;
  QLineEdit* ProjektName;
  QLabel* Label9;
  QListWidget* SLB;
  QToolButton* ProjektNeu;
  QWidget* Panel3;
  QWidget* Panel4;
  QLabel* Label11;
  QLabel* Label10;
  TKtDirTree21* EplanTree;
  QWidget* TabSheet2;
  QLabel* Label1;
  TDirectoryEdit* EplanVerz;
  QAction* Headerbilden1;
  TFormStorage* FormStorage1;

  // --- handlers --------------------------------------------------------------------------------------
  void FormCreate();
  void FormDestroy();
  void FormActivate();
  void EplanTreeClick();
  void EplanVerzChange();
  void EXFVerzChange();
  void QxEditBtnClick(QObject* Sender);
  void ProjektNeuClick();
  void QuastelSpeedButton1Click();
  void Button1Click();

  // --- commands --------------------------------------------------------------------------------------
  void LoadEplanEnvironment();
  void FillSymbolList();
  void TransferProject();

  // After a transfer in which something failed: one box that says how many and lists them, with the
  // transfer's report, and offers to take the transfer back. A transfer without failures stays
  // silent.
  void ReportTransferFailures(const TransferResult& result);
  // Takes a transfer back from its journal; says what could not be taken back.
  void UndoTransfer(const std::string& journalId);
  // At the start: a transfer that was cut short (the program killed, the power gone) is offered for
  // undo before anything else happens; until it is taken back no transfer starts on its station.
  void OfferPendingUndo();
  // A transfer was refused because that one is still pending: the refusal offers the undo right there.
  void OfferUndoOfPending(const std::string& journalId);
  // "Projekt NEU2 (C:\EPLAN5\P\NEU2.P), begonnen am 07.12.2026 um 10:15 Uhr".
  static std::string DescribeTransfer(const JournalInfo& journal);
  // The confirmation after an undo: which transfer, what came back, what went.
  static std::string UndoSummary(const UndoResult& result);

  // --- the project path: Label10 and the tree's highlight name the same folder ----------------------
  // Whether two texts name one folder: equal but for a closing backslash, or differing in case and
  // leading to the same folder on the disk.
  static bool SameFolder(const QString& a, const QString& b);
  // A full Windows path of a folder that exists.
  static bool IsExistingFolder(const QString& path);
  // Whether the tree's highlighted node is that folder.
  bool TreeShows(const QString& path) const;
  // Label10 takes the folder the tree highlights, when it names another one.
  void ProjectPathFromTree();

  // The reporter the window's services talk through (tests look at it).
  WindowReporter& Reporter() { return reporter_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildLayout();
  void WindowActivated();
  // Notes which window of the program holds the focus now (see the activation rule above).
  void FocusWindowChanged(QWindow* window);
  // Moves (and, when it is larger than the screen, shrinks) the window so that it lies on its screen
  // with its frame; a placement that fits is kept.
  void FitOnScreen();

  WindowReporter reporter_;
  bool shownOnce_ = false;
  bool activatedOnce_ = false;
  bool fittedWithFrame_ = false;
  // Whether the window of the program that was active last before this one counts for the activation.
  bool otherWindowCounts_ = false;
  bool inActivation_ = false;
  bool pendingOffered_ = false;
  // The user chose Label10's folder in the tree since the last reading: the next reading keeps it
  // while it exists.
  bool projectPathChosen_ = false;
  QTimer* pathSync_ = nullptr;
  // A transfer or an undo runs: windows that come and go meanwhile are part of it, and the activation
  // work waits.
  bool busy_ = false;
};

}  // namespace velmor::ui
