#include "ui/VelmorMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "core/ExfHeader.h"
#include "core/PageHeaders.h"
#include "core/ProjectTransfer.h"
#include "core/TransferJournal.h"
#include "core/TransferUndo.h"
#include "core/WindowSettings.h"
#include "platform/Platform.h"
#include "ui/BackgroundWork.h"
#include "ui/DirectoryEdit.h"
#include "ui/ElidedPathLabel.h"
#include "ui/FormStorage.h"
#include "ui/Glyphs.h"
#include "ui/KtFileExplorer28.h"
#include "ui/MessageService.h"
#include "ui/QxEditBtn.h"
#include "ui/TextConversion.h"
#include "ui/TransferProgress.h"
#include "ui/WaitCursor.h"

namespace velmor::ui {

void WindowReporter::ShowMessage(const std::string& text) {
  OnWindowThread([&text] { Messages().PlainBox(Q(text)); });
}

bool WindowReporter::Confirm(const std::string& text) {
  bool ok = false;
  OnWindowThread([&] { ok = ConfirmHere(text); });
  return ok;
}

bool WindowReporter::ConfirmHere(const std::string& text) {
  // A question in the middle of a transfer must not sit beside a progress bar that seems to run on:
  // the progress is hidden while the user decides, and comes back only when the work goes on.
  std::vector<QPointer<TransferProgress>> hidden;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* progress = qobject_cast<TransferProgress*>(w); progress && progress->isVisible()) {
      progress->hide();
      hidden.emplace_back(progress);
    }
  }
  const bool ok = Messages().TypedBox(IMessageService::Kind::Confirmation, Q(text),
                                      QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  if (ok)
    for (const auto& progress : hidden)
      if (progress) progress->show();
  return ok;
}

TVelmorMainFrm::TVelmorMainFrm(QWidget* parent) : QMainWindow(parent) {
  setObjectName("VelmorMainFrm");
  BuildLayout();

  ConfigureSampleSearch(FF, *(SampleFiles = std::make_unique<TQxstringlist>()));

  FormStorage1 = new TFormStorage(this);
  FormStorage1->IniFileName = Q(settings::kFile);
  FormStorage1->IniSection = Q(settings::kSection);
  QStringList storedTexts;
  for (const std::string_view item : settings::kStoredTexts) storedTexts << Q(item);
  FormStorage1->SetStoredProps(storedTexts);

  connect(qApp, &QGuiApplication::focusWindowChanged, this, &TVelmorMainFrm::FocusWindowChanged);
  FormCreate();
}

TVelmorMainFrm::~TVelmorMainFrm() {
  // The settings are saved while every control still exists.
  FormStorage1->FormDestroying();
  FormDestroy();
}

void TVelmorMainFrm::BuildLayout() {
  const double scale = logicalDpiX() / 96.0;
  auto px = [scale](int value) { return qRound(value * scale); };
  auto place = [&px](QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(px(left), px(top), px(width), px(height));
  };
  auto label = [&px](QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* result = new QLabel(caption, parent);
    result->setObjectName(name);
    result->move(px(left), px(top));
    result->adjustSize();
    return result;
  };
  auto edit = [&place](QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* result = new QLineEdit(parent);
    result->setObjectName(name);
    result->setAcceptDrops(false);  // the fields take what is typed, never a dropped file or text
    place(result, left, top, width, height);
    return result;
  };

  setWindowTitle("Kelvra nach EPLAN");
  // The layout was made for a narrow 8-point face; where that face is missing, narrow ones stand in so
  // that the captions fit beside their fields.
  QFont::insertSubstitutions("MS Sans Serif",
                             {"Liberation Sans Narrow", "Arial", "Liberation Sans", "DejaVu Sans Condensed"});
  setFont(QFont("MS Sans Serif", 8));
  setGeometry(px(509), px(219), px(821), px(613));

  auto* central = new QWidget(this);
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->setSpacing(0);
  setCentralWidget(central);

  Panel1 = new QWidget(central);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(px(41));
  auto* panel1Layout = new QHBoxLayout(Panel1);
  panel1Layout->setContentsMargins(0, px(1), px(1), px(1));
  panel1Layout->addStretch(1);
  QuastelSpeedButton1 = new QToolButton(Panel1);
  QuastelSpeedButton1->setObjectName("QuastelSpeedButton1");
  QuastelSpeedButton1->setAutoRaise(true);
  QuastelSpeedButton1->setFocusPolicy(Qt::NoFocus);
  QuastelSpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  QuastelSpeedButton1->setIconSize(QSize(px(24), px(24)));
  QuastelSpeedButton1->setFixedSize(px(50), px(39));
  panel1Layout->addWidget(QuastelSpeedButton1);
  centralLayout->addWidget(Panel1);

  Panel2 = new QWidget(central);
  Panel2->setObjectName("Panel2");
  auto* panel2Layout = new QVBoxLayout(Panel2);
  panel2Layout->setContentsMargins(0, 0, 0, 0);
  GETEXF = new QTabWidget(Panel2);
  GETEXF->setObjectName("GETEXF");
  panel2Layout->addWidget(GETEXF);
  centralLayout->addWidget(Panel2, 1);

  // --- first page -------------------------------------------------------------------------------------
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  GETEXF->addTab(TabSheet1, "EXF-Daten einlesen");

  GroupBox1 = new QGroupBox("aktuelle Eplan-Pfade", TabSheet1);
  GroupBox1->setObjectName("GroupBox1");
  place(GroupBox1, 16, 16, 290, 115);
  Label5 = label(GroupBox1, "Label5", "Makros", 4, 20);
  MakroPfad = edit(GroupBox1, "MakroPfad", 75, 15, 204, 21);
  Label6 = label(GroupBox1, "Label6", "NormalStamm", 4, 42);
  NormalStamm = edit(GroupBox1, "NormalStamm", 75, 38, 204, 21);
  Label7 = label(GroupBox1, "Label7", "Lager", 4, 68);
  LagerPfad = edit(GroupBox1, "LagerPfad", 75, 62, 204, 21);
  Label8 = label(GroupBox1, "Label8", "Formulare", 4, 90);
  FormularPfad = edit(GroupBox1, "FormularPfad", 75, 85, 204, 21);

  GroupBox2 = new QGroupBox("EXF - Daten", TabSheet1);
  GroupBox2->setObjectName("GroupBox2");
  place(GroupBox2, 308, 16, 387, 116);
  auto folderField = [&](const char* name, int tag, int top) {
    auto* field = new TQxEditBtn(GroupBox2);
    field->setObjectName(name);
    field->SetTag(tag);
    field->SetGlyph(OpenFolderGlyph());
    field->SetNumGlyphs(1);
    field->SetMargin(-1);
    place(field, 102, top, 275, 21);
    connect(field, &TQxEditBtn::btnClicked, this,
            [this, field] { RunGuarded([this, field] { QxEditBtnClick(field); }); });
    return field;
  };
  Label2 = label(GroupBox2, "Label2", "EPL_ASC.EXF", 8, 22);
  ExfVErz = folderField("ExfVErz", 101, 16);
  Label3 = label(GroupBox2, "Label3", "Symbole(*.ASC)", 8, 48);
  AscVerz = folderField("AscVerz", 102, 42);
  Label4 = label(GroupBox2, "Label4", "Plotrahmen(*.EXP)", 8, 71);
  ExpVerz = folderField("ExpVerz", 103, 67);

  GroupBox3 = new QGroupBox("Projektname", TabSheet1);
  GroupBox3->setObjectName("GroupBox3");
  place(GroupBox3, 16, 136, 681, 289);
  ProjektName = edit(GroupBox3, "ProjektName", 73, 19, 216, 21);
  Label9 = label(GroupBox3, "Label9", "verwendete Symboldateien", 74, 47);
  SLB = new QListWidget(GroupBox3);
  SLB->setObjectName("SLB");
  place(SLB, 72, 70, 145, 132);
  ProjektNeu = new QToolButton(GroupBox3);
  ProjektNeu->setObjectName("ProjektNeu");
  // Alt+T starts the transfer; the underlined letter on the button says so (a letter that every
  // keyboard has, unlike Ü).
  ProjektNeu->setText(QString::fromUtf8("EXF - Daten über&tragen"));
  ProjektNeu->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  ProjektNeu->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ProjektNeu->setAutoRaise(true);
  // Reachable with Tab after the fields (Space presses it), unlike the close button.
  ProjektNeu->setFocusPolicy(Qt::TabFocus);
  place(ProjektNeu, 73, 209, 216, 37);

  // Panel3 keeps to the right edge of the group's client area, below its caption.
  Panel3 = new QWidget(GroupBox3);
  Panel3->setObjectName("Panel3");
  place(Panel3, 681 - 2 - 303, 15, 303, 289 - 15 - 2);
  auto* panel3Layout = new QVBoxLayout(Panel3);
  panel3Layout->setContentsMargins(0, 0, 0, 0);
  panel3Layout->setSpacing(0);
  Panel4 = new QWidget(Panel3);
  Panel4->setObjectName("Panel4");
  Panel4->setFixedHeight(px(36));
  Label11 = label(Panel4, "Label11", "ProjektPfad", 117, 4);
  // The full path stays the label's text; a long one is drawn shortened in the middle.
  Label10 = new ElidedPathLabel("Label10", Panel4);
  Label10->setObjectName("Label10");
  Label10->move(px(6), px(21));
  Label10->setFixedSize(px(303 - 6 - 2), Label10->sizeHint().height());
  panel3Layout->addWidget(Panel4);
  EplanTree = new TKtDirTree21(Panel3);
  EplanTree->setObjectName("EplanTree");
  EplanTree->setIndentation(px(19));
  EplanTree->SetLblShowSelected(Label10);
  connect(EplanTree, &TKtDirTree21::treeClicked, this, &TVelmorMainFrm::EplanTreeClick);
  // Whatever moves the tree's highlight (keys, the menu's commands, a walk) moves the project path
  // with it, once the move is over.
  pathSync_ = new QTimer(this);
  pathSync_->setSingleShot(true);
  pathSync_->setInterval(0);
  connect(pathSync_, &QTimer::timeout, this, &TVelmorMainFrm::ProjectPathFromTree);
  connect(EplanTree, &QTreeWidget::currentItemChanged, pathSync_, qOverload<>(&QTimer::start));
  panel3Layout->addWidget(EplanTree, 1);

  // --- second page ------------------------------------------------------------------------------------
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  GETEXF->addTab(TabSheet2, "Einstellungen");
  Label1 = label(TabSheet2, "Label1", "Eplanverzeichnis", 112, 42);
  EplanVerz = new TDirectoryEdit(TabSheet2);
  EplanVerz->setObjectName("EplanVerz");
  place(EplanVerz, 224, 40, 353, 21);
  GETEXF->setCurrentIndex(0);

  // --- the menu with its one hidden item ----------------------------------------------------------------
  menuBar()->setObjectName("MainMenu1");
  Headerbilden1 = menuBar()->addAction("Header bilden");
  Headerbilden1->setObjectName("Headerbilden1");
  Headerbilden1->setVisible(false);

  // --- keyboard order -----------------------------------------------------------------------------------
  const QList<QWidget*> order = {LagerPfad, FormularPfad, NormalStamm, MakroPfad, ExfVErz,    AscVerz,
                                 ExpVerz,   ProjektName,  EplanTree,   SLB,       ProjektNeu, EplanVerz};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  // The name of the new project is what a user types first.
  ProjektName->setFocus();

  // --- handlers -----------------------------------------------------------------------------------------
  connect(QuastelSpeedButton1, &QToolButton::clicked, this, [this] { QuastelSpeedButton1Click(); });
  connect(ProjektNeu, &QToolButton::clicked, this, [this] { RunGuarded([this] { ProjektNeuClick(); }); });
  connect(ExfVErz, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { EXFVerzChange(); }); });
  connect(EplanVerz, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { EplanVerzChange(); }); });
  connect(Headerbilden1, &QAction::triggered, this, [this] { RunGuarded([this] { Button1Click(); }); });
}

// --- handlers -----------------------------------------------------------------------------------------

void TVelmorMainFrm::FormCreate() {
  if (!SampleFiles) SampleFiles = std::make_unique<TQxstringlist>();
}

void TVelmorMainFrm::FormDestroy() {
  FF.OnFileMatch = nullptr;  // the list it appends to goes now
  SampleFiles.reset();
}

void TVelmorMainFrm::FormActivate() {
  // Boxes shown by this work do not count as another window of the program when they close.
  const bool outer = !inActivation_;
  inActivation_ = true;
  struct Leave {
    bool outer;
    bool& flag;
    ~Leave() {
      if (outer) flag = false;
    }
  } leave{outer, inActivation_};
  if (!pendingOffered_) {
    pendingOffered_ = true;
    OfferPendingUndo();
  }
  ExeDir = Host.ProgramDirectory();
  // The program folder is the path up to and including its last backslash or colon.
  const size_t cut = ExeDir.find_last_of("\\:");
  ExeDir = cut == std::string::npos ? std::string() : ExeDir.substr(0, cut + 1);
  SetSampleLocation(FF, ExeDir);
  LoadEplanEnvironment();
  FillSymbolList();
}

void TVelmorMainFrm::EplanTreeClick() {
  Label10->setText(EplanTree->SelectedPath());
  projectPathChosen_ = true;
}

void TVelmorMainFrm::EplanVerzChange() {
  // The field's text is only kept for the next start; the reading takes EPLAN's folder from the
  // registry.
  LoadEplanEnvironment();
}

void TVelmorMainFrm::EXFVerzChange() {
  AscVerz->setText(ExfVErz->text());
  ExpVerz->setText(ExfVErz->text());
  FillSymbolList();
}

void TVelmorMainFrm::QxEditBtnClick(QObject* Sender) {
  auto* field = qobject_cast<TQxEditBtn*>(Sender);
  if (field == nullptr) return;
  // The field a button fills and the instruction text of its folder browser, by the button's tag.
  TQxEditBtn* target = nullptr;
  const char* text = nullptr;
  switch (field->Tag()) {
    case 101:
      target = ExfVErz;
      text = "Quellpfad für EXP_ASC.EXF";
      break;
    case 102:
      target = AscVerz;
      text = "Quellpfad für EPLAN-Symboldateien im ASC-Format";
      break;
    case 103:
      target = ExpVerz;
      text = "Quellpfad für Eplan-Rahmen";
      break;
    default:
      return;
  }
  QString folder = target->text();
  BrowseFolder(folder, QString::fromUtf8(text), 0);
  target->setText(folder);  // unchanged after Cancel, so no change handler runs then
}

void TVelmorMainFrm::ProjektNeuClick() {
  TransferProject();
}

void TVelmorMainFrm::QuastelSpeedButton1Click() {
  close();
}

void TVelmorMainFrm::Button1Click() {
  BuildHeaders(Host);
}

// --- the project path ---------------------------------------------------------------------------------

namespace {

// Without the backslash that ends a folder (a drive root keeps its own).
QString FolderText(QString path) {
  while (path.size() > 3 && path.endsWith(QLatin1Char('\\'))) path.chop(1);
  return path;
}

// The text of a node as the project path: "Drives" for the computer, else its folder.
QString NodeFolder(const TKtDirTree21& tree, const QTreeWidgetItem* node) {
  return TKtDirTree21::Level(node) == 0 ? QStringLiteral("Drives") : tree.GetNodePath(node);
}

}  // namespace

bool TVelmorMainFrm::SameFolder(const QString& a, const QString& b) {
  const QString left = FolderText(a);
  const QString right = FolderText(b);
  if (left == right) return true;
  if (QString::compare(left, right, Qt::CaseInsensitive) != 0) return false;
  // Spellings that differ in case may name one folder or two (apfel and Apfel): the disk decides.
  const auto hostLeft = platform::Os().ToHost(U8(left));
  const auto hostRight = platform::Os().ToHost(U8(right));
  return hostLeft && hostRight && *hostLeft == *hostRight;
}

bool TVelmorMainFrm::IsExistingFolder(const QString& path) {
  // A full path only: "Label10", "Drives" or a relative text would name a folder below wherever the
  // program was started.
  const bool full = (path.size() >= 3 && path.at(1) == QLatin1Char(':') && path.at(2) == QLatin1Char('\\')) ||
                    path.startsWith(QStringLiteral("\\\\"));
  return full && platform::Os().DirectoryExists(U8(path));
}

bool TVelmorMainFrm::TreeShows(const QString& path) const {
  const QTreeWidgetItem* node = EplanTree->currentItem();
  return node != nullptr && SameFolder(NodeFolder(*EplanTree, node), path);
}

void TVelmorMainFrm::ProjectPathFromTree() {
  // While a transfer runs, its own walk of the tree sets Label10 (and the disk is the transfer's).
  if (busy_) return;
  const QTreeWidgetItem* node = EplanTree->currentItem();
  if (node == nullptr || TreeShows(Label10->text())) return;
  // The tree's own text when it names that node (with the backslash of a walk), else the node's folder.
  const QString selected = EplanTree->SelectedPath();
  const QString folder = NodeFolder(*EplanTree, node);
  Label10->setText(SameFolder(selected, folder) ? selected : folder);
  projectPathChosen_ = true;
}

// --- commands -----------------------------------------------------------------------------------------

void TVelmorMainFrm::LoadEplanEnvironment() {
  if (velmor::LoadEplanEnvironment(Host, Host, Host, Environment, reporter_) != EnvironmentStatus::Loaded)
    return;
  const QString chosen = Label10->text();
  if (projectPathChosen_ && IsExistingFolder(chosen)) {
    // The folder the user chose in the tree stays the project path; the tree shows it again if
    // something moved the highlight away.
    if (!TreeShows(chosen)) EplanTree->ExpandToPath(chosen);
  } else {
    projectPathChosen_ = false;
    const QString projectFolder = Q(Environment.ProjectFolder);
    EplanTree->SetInitialDir(projectFolder);
    Label10->setText(projectFolder);
    // The tree navigates only when its start folder changed: when the highlight went elsewhere
    // meanwhile, it is brought back, or taken away when the folder does not exist.
    if (!TreeShows(projectFolder)) {
      if (IsExistingFolder(projectFolder)) {
        EplanTree->ExpandToPath(projectFolder);
      } else {
        EplanTree->setCurrentItem(nullptr);
      }
    }
  }
  pathSync_->stop();
  MakroPfad->setText(Q(Environment.MacroFolder));
  NormalStamm->setText(Q(Environment.NormalMasterFolder));
  LagerPfad->setText(Q(Environment.StockFolder));
  FormularPfad->setText(Q(Environment.FormsFolder));
}

void TVelmorMainFrm::FillSymbolList() {
  SLB->clear();
  for (const std::string& line : velmor::FillSymbolList(Host, U8(ExfVErz->text()))) SLB->addItem(Q(line));
}

namespace {

// Marks the window busy for a scope: the platform a transfer or an undo runs on must not serve the
// window's own work (the activation's reading) in between.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TVelmorMainFrm::TransferProject() {
  // A highlight moved just now moves the project path first.
  if (pathSync_->isActive()) {
    pathSync_->stop();
    ProjectPathFromTree();
  }
  TransferInputs inputs;
  inputs.ProjectName = U8(ProjektName->text());
  inputs.ProjectPath = U8(Label10->text());
  inputs.NormalMaster = U8(NormalStamm->text());
  inputs.ExfDir = U8(ExfVErz->text());
  inputs.AscDir = U8(AscVerz->text());
  inputs.ExpDir = U8(ExpVerz->text());
  inputs.EplanDir = Environment.EplanDir;
  inputs.CustomerId = Environment.CustomerId;
  inputs.StationNumber = Environment.StationNumber;

  // The progress is there at once, before the samples are searched and the backups planned; the run
  // itself goes on a thread of its own, so the window keeps painting while it is modal for the user.
  TransferProgress progress(this);
  progress.Prepare(QString::fromUtf8("Die Übertragung wird vorbereitet …"));
  ProgressRelay relay(&progress, [&progress](size_t done, size_t total, const std::string& current) {
    progress.Report(done, total, Q(current));
  });
  ProjectTransfer transfer(Host, Host, FF, *SampleFiles, reporter_);
  transfer.SetPendingLeftToCaller(true);
  transfer.SetProgress([&relay](size_t done, size_t total, const std::string& current) {
    relay.Report(done, total, current);
  });
  transfer.SetTreeReload([this](const std::string& projectRoot) {
    OnWindowThread([this, &projectRoot] {
      // The tree is walked afresh to the project root, where the new project folder now shows.
      EplanTree->ReloadTree();
      EplanTree->SetInitialDir("\\");
      EplanTree->SetInitialDir(Q(projectRoot));
      Label10->setText(Q(projectRoot));
    });
  });
  std::string error;
  BackgroundResult<TransferResult> run;
  {
    WaitCursor wait;
    BusyScope busy(busy_);
    run = RunInBackground<TransferResult>([&](const std::atomic<bool>&) {
      // The error that ended the run comes back as a value, with what the run did before it.
      try {
        return transfer.Run(inputs);
      } catch (const TransferError& failure) {
        error = failure.what();
        return failure.Result();
      }
    });
  }
  progress.Done();
  if (!run.Value) {
    Messages().ErrorBox(Q(run.Error));
    return;
  }
  const TransferResult& result = *run.Value;
  if (result.Outcome == TransferOutcome::Pending) {
    OfferUndoOfPending(result.JournalId);
    return;
  }
  // What failed before an error ended the run is listed first; the error's own box follows.
  ReportTransferFailures(result);
  if (!error.empty()) Messages().ErrorBox(Q(error));
}

void TVelmorMainFrm::ReportTransferFailures(const TransferResult& result) {
  // The error that ended a run has a box of its own; the list holds what failed before it.
  TransferResult listed = result;
  listed.Error.clear();
  const TransferReport report = ReportTransfer(listed);
  if (!report.Failed) return;
  QStringList lines;
  for (size_t i = 1; i < report.Lines.size(); ++i) lines << Q(report.Lines[i]);
  QStringList buttons;
  if (!result.JournalId.empty()) buttons << QString::fromUtf8("Rückgängig machen");
  if (Messages().ErrorListBox(Q(report.Lines.front()), lines, buttons) == 0) UndoTransfer(result.JournalId);
}

void TVelmorMainFrm::UndoTransfer(const std::string& journalId) {
  TransferProgress progress(this);
  progress.Prepare(QString::fromUtf8("Die Übertragung wird zurückgenommen …"));
  TransferUndo undo(Host, Host, reporter_);
  BackgroundResult<UndoResult> run;
  {
    WaitCursor wait;
    BusyScope busy(busy_);
    run = RunInBackground<UndoResult>([&](const std::atomic<bool>&) { return undo.Run(journalId); });
  }
  progress.Done();
  if (!run.Value) {
    Messages().ErrorBox(Q(run.Error));
    return;
  }
  const UndoResult& result = *run.Value;
  const bool changed = result.Outcome == UndoOutcome::Done || result.Outcome == UndoOutcome::Incomplete;
  const QString projectPath = Label10->text();
  if (changed && !projectPath.isEmpty()) {
    // The project folder the transfer made may be gone again: the tree is walked afresh to the
    // project path, which stays what it was.
    EplanTree->ReloadTree();
    EplanTree->SetInitialDir("\\");
    EplanTree->SetInitialDir(projectPath);
    Label10->setText(projectPath);
  }
  if (result.Outcome == UndoOutcome::Done) {
    Messages().TypedBox(IMessageService::Kind::Information, Q(UndoSummary(result)), QMessageBox::Ok);
    return;
  }
  if (result.Outcome != UndoOutcome::Incomplete) return;
  QStringList lines;
  for (const std::vector<std::string>* list : {&result.Conflicts, &result.Failures})
    for (const std::string& line : *list) lines << Q(line);
  Messages().ErrorListBox(QString::fromUtf8("Die Übertragung wurde nicht ganz zurückgenommen:"), lines, {});
}

std::string TVelmorMainFrm::DescribeTransfer(const JournalInfo& journal) {
  // "2026-12-07 10:15:30" as a German reader says it.
  std::string when = journal.Time;
  if (when.size() >= 16 && when[4] == '-' && when[7] == '-' && when[10] == ' ')
    when = "am " + when.substr(8, 2) + "." + when.substr(5, 2) + "." + when.substr(0, 4) + " um " +
           when.substr(11, 5) + " Uhr";
  return "Projekt " + journal.ProjectName + " (" + journal.ProjectFolder + "), begonnen " + when;
}

std::string TVelmorMainFrm::UndoSummary(const UndoResult& result) {
  size_t removed = 0, restored = 0, folders = 0;
  for (const UndoStep& step : result.Steps) {
    switch (step.Type) {
      case UndoStep::Kind::Remove:
        ++removed;
        break;
      case UndoStep::Kind::Restore:
      case UndoStep::Kind::Rename:
        ++restored;
        break;
      case UndoStep::Kind::RemoveFolder:
        ++folders;
        break;
      case UndoStep::Kind::SetAttributes:
        break;
    }
  }
  // Restored are the originals of the symbol files, the files the transfer overwrote and ARGV.DAT.
  return "Die Übertragung ist zurückgenommen:\n" + DescribeTransfer(result.Journal) + "\n\n" +
         std::to_string(restored) + " Dateien wiederhergestellt, " + std::to_string(removed) +
         " Dateien und " + std::to_string(folders) + " Ordner der Übertragung entfernt.";
}

void TVelmorMainFrm::OfferUndoOfPending(const std::string& journalId) {
  std::optional<JournalInfo> pending;
  for (const JournalInfo& journal : ListJournals(Host, Host))
    if (journal.Id == journalId) pending = journal;
  // One that still runs is not interrupted: the transfer's refusal has named it, and undo waits for it.
  if (!pending || pending->State == JournalState::Running) return;
  const QString text = QString::fromUtf8(
      "Eine unterbrochene Übertragung auf dieser Station ist noch nicht zurückgenommen. Solange sie nicht "
      "zurückgenommen ist, beginnt hier keine neue Übertragung:");
  if (Messages().ErrorListBox(text, {Q(DescribeTransfer(*pending))},
                              {QString::fromUtf8("Rückgängig machen")}) == 0)
    UndoTransfer(pending->Id);
}

void TVelmorMainFrm::OfferPendingUndo() {
  // Only this station's (the prefix the window runs in): another station's is taken back there.
  std::optional<JournalInfo> pending;
  for (const JournalInfo& journal : ListStationJournals(Host, Host, Host.PrefixDirectory()))
    if (journal.State == JournalState::Interrupted) pending = journal;
  if (!pending) return;
  const QString text =
      QString::fromUtf8(
          "Eine Übertragung wurde unterbrochen und ist noch nicht zurückgenommen:\n%1\n\n"
          "Solange sie nicht zurückgenommen ist, beginnt auf dieser Station keine neue Übertragung. "
          "Jetzt zurücknehmen?")
          .arg(Q(DescribeTransfer(*pending)));
  if (Messages().TypedBox(IMessageService::Kind::Warning, text, QMessageBox::Yes | QMessageBox::No) ==
      QMessageBox::Yes)
    UndoTransfer(pending->Id);
}

// --- activation -----------------------------------------------------------------------------------------

void TVelmorMainFrm::closeEvent(QCloseEvent* event) {
  // A transfer or an undo runs on a thread of its own: the window stays until it is over.
  if (busy_) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TVelmorMainFrm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownOnce_ && !event->spontaneous()) {
    shownOnce_ = true;
    // The placement is restored by now; its frame is not known before the window is on the screen.
    FitOnScreen();
    // Without a window manager nobody activates a new window: do it ourselves once it is up.
    QTimer::singleShot(0, this, [this] {
      raise();
      activateWindow();
    });
  }
}

bool TVelmorMainFrm::event(QEvent* event) {
  const bool result = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) WindowActivated();
  return result;
}

void TVelmorMainFrm::WindowActivated() {
  if (!fittedWithFrame_) {
    // Now the window manager has framed the window: fit it once more with its frame.
    fittedWithFrame_ = true;
    FitOnScreen();
  }
  // A transfer or an undo runs on: its question and its progress are part of it.
  if (busy_) return;
  if (activatedOnce_ && !otherWindowCounts_) return;
  activatedOnce_ = true;
  otherWindowCounts_ = false;
  RunGuarded([this] { FormActivate(); });
}

void TVelmorMainFrm::FocusWindowChanged(QWindow* window) {
  // No window of ours has the focus: another program has it, or the focus is on its way between two
  // of our windows. Either way the last window of ours decides.
  if (window == nullptr || window == windowHandle()) return;
  const Qt::WindowType type = window->type();
  if (type != Qt::Window && type != Qt::Dialog && type != Qt::Sheet) return;  // menus, tooltips
  QWidget* widget = nullptr;
  for (QWidget* candidate : QApplication::topLevelWidgets()) {
    if (candidate->windowHandle() == window) widget = candidate;
  }
  otherWindowCounts_ = !inActivation_ && !busy_ && !IsReportWindow(widget);
}

void TVelmorMainFrm::FitOnScreen() {
  if ((windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) return;
  QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (where == nullptr) return;
  const QRect area = where->availableGeometry();
  const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  const QRect inner = geometry();
  if (area.contains(inner.marginsAdded(frame))) return;
  const QSize size = inner.size().boundedTo(area.marginsRemoved(frame).size());
  const int outerWidth = size.width() + frame.left() + frame.right();
  const int outerHeight = size.height() + frame.top() + frame.bottom();
  const int left = std::clamp(inner.left() - frame.left(), area.left(), area.right() + 1 - outerWidth);
  const int top = std::clamp(inner.top() - frame.top(), area.top(), area.bottom() + 1 - outerHeight);
  setGeometry(QRect(QPoint(left + frame.left(), top + frame.top()), size));
}

}  // namespace velmor::ui
