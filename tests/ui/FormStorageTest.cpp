#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <memory>
#include <regex>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"
#include "tests/ui/Scripted.h"
#include "ui/FormStorage.h"

namespace velmor::ui {
namespace {

using velmor::testing::TempPrefix;
using velmor::ui::testing::ScriptedMessages;

const char* const kIni = "drive_c/windows/Velmor.INI";

// A window with two stored fields, set up as the main window sets up its store.
struct StoredForm {
  StoredForm() {
    form = std::make_unique<QWidget>();
    first = new QLineEdit(form.get());
    first->setObjectName("EplanVerz");
    second = new QLineEdit(form.get());
    second->setObjectName("ExfVErz");
    QObject::connect(first, &QLineEdit::textChanged, [this] { ++firstChanges; });
    storage = new TFormStorage(form.get());
    storage->IniFileName = "Velmor.INI";
    storage->IniSection = "VelmorMainFrm";
    storage->SetStoredProps({"EplanVerz.Text", "exfverz.text", "Missing.Text", "NoDot"});
    form->setGeometry(100, 120, 400, 300);
  }
  ~StoredForm() {
    if (form) storage->FormDestroying();
  }
  void Show() {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  std::unique_ptr<QWidget> form;
  QLineEdit* first;
  QLineEdit* second;
  TFormStorage* storage;
  int firstChanges = 0;
};

// The line that gives the screen's pixels per inch, and the key suffix of its resolution. The probe
// saves when it goes away, so it lives in a prefix of its own.
std::pair<std::string, std::string> PpiLineAndSuffix() {
  TempPrefix prefix;
  const StoredForm probe;
  return {"PixelsPerInch=" + std::to_string(probe.storage->ScreenPixelsPerInch()) + "\r\n",
          probe.storage->ResolutionSuffix().toStdString()};
}

TEST(FormStorage, CloseOrDestructionWritesEveryKeyInOrderAndARestartReadsThemBack) {
  const auto [ppiLine, suffix] = PpiLineAndSuffix();
  TempPrefix prefix;
  ScriptedMessages messages;
  {
    StoredForm stored;
    stored.Show();
    EXPECT_EQ(stored.firstChanges, 0);  // no file: nothing restored, no handler
    stored.first->setText("  C:\\EPLAN5  ");
    stored.second->setText("\"D:\\EXF mit Blank\"");
    stored.form->setGeometry(30, 40, 500, 350);
    EXPECT_TRUE(stored.form->close());
  }
  // Only the stored items of fields that exist, after the placement; Visible as at the close. The
  // maximized position depends on the frame the platform draws.
  const std::string ini = std::regex_replace(prefix.ReadFile(kIni).value_or(""),
                                             std::regex("(MinMaxPos.*=-1,-1),-?\\d+,-?\\d+"), "$1,x,y");
  EXPECT_EQ(ini, "[VelmorMainFrm]\r\nFormVersion=0\r\nFlags=0\r\nShowCmd=1\r\n" + ppiLine + "MinMaxPos" +
                     suffix + "=-1,-1,x,y\r\nMinMaxPos=-1,-1,x,y\r\nNormPos" + suffix +
                     "=30,40,530,390\r\nNormPos=30,40,530,390\r\n"
                     "Visible=0\r\nEplanVerz_Text=C:\\EPLAN5\r\nExfVErz_text=\"\"D:\\EXF mit Blank\"\"\r\n");
  EXPECT_TRUE(messages.boxes.empty());

  // A form that goes away without a close saves all the same, as still visible.
  {
    StoredForm again;
    again.Show();
    EXPECT_EQ(again.first->text(), "C:\\EPLAN5");
    EXPECT_EQ(again.second->text(), "\"D:\\EXF mit Blank\"");
    EXPECT_EQ(again.form->geometry(), QRect(30, 40, 500, 350));
    EXPECT_EQ(again.firstChanges, 1);
    again.first->setText("X");
  }
  EXPECT_NE(prefix.ReadFile(kIni).value_or("").find("Visible=1\r\nEplanVerz_Text=X\r\n"), std::string::npos);
}

// The placement is restored from the stored lines, the texts come back whatever it did, and the
// flags are written back at the close as they were read.
TEST(FormStorage, PlacementRules) {
  const auto [ppi, suffix] = PpiLineAndSuffix();
  for (const auto& row : velmor::testing::CaseRows("ui/placements.tsv", 5)) {
    SCOPED_TRACE(row[0]);
    std::string body, flags;
    for (std::string line : velmor::testing::ListField(row[1])) {
      if (const size_t at = line.find("{res}"); at != std::string::npos) line.replace(at, 5, suffix);
      body += line == "{ppi}" ? ppi : line + "\r\n";
    }
    for (const std::string& line : velmor::testing::ListField(row[3])) flags += line + "\r\n";
    TempPrefix prefix;
    ScriptedMessages messages;
    prefix.WriteFile(kIni, "[VelmorMainFrm]\r\n" + body + "EplanVerz_Text=  'quoted'  \r\n");
    {
      StoredForm stored;
      stored.Show();
      if (row[4] == "yes") QTRY_VERIFY(stored.form->isMinimized());
      const QRect at = stored.form->geometry();
      EXPECT_EQ(
          stored.form->windowState().testFlag(Qt::WindowMaximized)
              ? "maximized"
              : QString("%1,%2,%3,%4").arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height()).toStdString(),
          row[2]);
      EXPECT_EQ(stored.first->text(), "quoted");
      EXPECT_TRUE(stored.form->close());
    }
    const std::string ini = prefix.ReadFile(kIni).value_or("");
    EXPECT_NE(ini.find(flags), std::string::npos) << "not written back together: " << flags << "in:\n" << ini;
  }
}

TEST(FormStorage, QuotedTextsGetOneMorePairAndReadBackUnchanged) {
  TempPrefix prefix;
  for (const auto& row : velmor::testing::CaseRows("ui/quoted-texts.tsv", 2)) {
    const QString text = QString::fromStdString(row[0]);
    ProfileWriteString("Velmor.INI", "S", "K", text);
    const std::string ini = prefix.ReadFile(kIni).value_or("");
    EXPECT_NE(ini.find("K=" + row[1] + "\r\n"), std::string::npos) << ini;
    EXPECT_EQ(ProfileReadString("Velmor.INI", "S", "K", "default"), text);
  }
}

TEST(FormStorage, AWriteProtectedFileIsReportedAndTheCloseGoesOn) {
  TempPrefix prefix;
  ScriptedMessages messages;
  prefix.WriteFile(kIni, "[VelmorMainFrm]\r\n");
  ASSERT_TRUE(platform::Os().SetFileAttributes("C:\\windows\\Velmor.INI", platform::kAttrReadOnly));
  {
    StoredForm stored;
    stored.Show();
    EXPECT_TRUE(stored.form->close());
    EXPECT_FALSE(stored.form->isVisible());
    EXPECT_EQ(messages.boxes, QStringList({"Fehlerbox: nach Velmor.INI kann nicht geschrieben werden"}));
  }
  // Nothing was saved, so the destruction tried once more.
  EXPECT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(prefix.ReadFile(kIni), std::optional<std::string>("[VelmorMainFrm]\r\n"));
}

}  // namespace
}  // namespace velmor::ui
