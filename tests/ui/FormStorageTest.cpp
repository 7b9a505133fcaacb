#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <memory>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"
#include "tests/ui/ScriptedMessages.h"
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
std::string PpiLine() {
  TempPrefix prefix;
  return "PixelsPerInch=" + std::to_string(StoredForm().storage->ScreenPixelsPerInch()) + "\r\n";
}
std::string Suffix() {
  TempPrefix prefix;
  return StoredForm().storage->ResolutionSuffix().toStdString();
}

QStringList Keys(const std::string& ini) {
  QStringList keys;
  for (const QString& line : QString::fromStdString(ini).split("\r\n", Qt::SkipEmptyParts)) {
    if (!line.startsWith('[')) keys << line.section('=', 0, 0);
  }
  return keys;
}

TEST(FormStorage, CloseWritesEveryKeyInOrderAndARestartReadsThemBack) {
  TempPrefix prefix;
  ScriptedMessages messages;
  QString suffix;
  {
    StoredForm stored;
    stored.Show();
    EXPECT_EQ(stored.firstChanges, 0);  // no file: nothing restored, no handler
    suffix = stored.storage->ResolutionSuffix();
    stored.first->setText("  C:\\EPLAN5  ");
    stored.second->setText("\"D:\\EXF mit Blank\"");
    stored.form->setGeometry(30, 40, 500, 350);
    EXPECT_TRUE(stored.form->close());
  }
  const std::optional<std::string> ini = prefix.ReadFile(kIni);
  ASSERT_TRUE(ini.has_value());
  // Only the stored items of fields that exist, after the placement.
  EXPECT_EQ(Keys(*ini), QStringList({"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" + suffix,
                                     "MinMaxPos", "NormPos" + suffix, "NormPos", "Visible", "EplanVerz_Text",
                                     "ExfVErz_text"}));
  EXPECT_NE(ini->find("FormVersion=0\r\n"), std::string::npos);
  EXPECT_NE(ini->find("Visible=0\r\n"), std::string::npos);  // saved at the close, not again later
  EXPECT_NE(ini->find("NormPos=30,40,530,390\r\n"), std::string::npos);
  EXPECT_NE(ini->find("EplanVerz_Text=C:\\EPLAN5\r\n"), std::string::npos);
  EXPECT_NE(ini->find("ExfVErz_text=\"\"D:\\EXF mit Blank\"\"\r\n"), std::string::npos);
  EXPECT_TRUE(messages.boxes.empty());

  StoredForm again;
  again.Show();
  EXPECT_EQ(again.first->text(), "C:\\EPLAN5");
  EXPECT_EQ(again.second->text(), "\"D:\\EXF mit Blank\"");
  EXPECT_EQ(again.form->geometry(), QRect(30, 40, 500, 350));
  EXPECT_EQ(again.firstChanges, 1);
}

TEST(FormStorage, DestructionSavesWhenNoCloseDidWithVisibleOne) {
  TempPrefix prefix;
  {
    StoredForm stored;
    stored.Show();
    stored.first->setText("X");
  }
  const std::optional<std::string> ini = prefix.ReadFile(kIni);
  ASSERT_TRUE(ini.has_value());
  EXPECT_NE(ini->find("Visible=1\r\n"), std::string::npos);
  EXPECT_NE(ini->find("EplanVerz_Text=X\r\n"), std::string::npos);
}

struct PlacementCase {
  const char* name;
  std::string body;  // the section's lines after the header
  QRect expected;
  bool maximized;
};

TEST(FormStorage, PlacementRules) {
  const std::string ppiLine = PpiLine(), suffix = Suffix();
  const PlacementCase cases[] = {
      {"two words keep right and bottom", ppiLine + "NormPos=10,20\r\n", QRect(10, 20, 490, 400), false},
      {"right not beyond left applies nothing", ppiLine + "NormPos=10,20,5,30\r\n", QRect(100, 120, 400, 300),
       false},
      {"other pixels per inch keep the bounds", "PixelsPerInch=1\r\nNormPos=1,2,300,400\r\n",
       QRect(100, 120, 400, 300), false},
      {"hex and plain key", ppiLine + "NormPos=0x10,20,0x110,220\r\n", QRect(16, 20, 256, 200), false},
      {"ShowCmd 3 maximizes", ppiLine + "ShowCmd=3\r\n", QRect(), true},
      {"the resolution's key wins over the plain one",
       ppiLine + "NormPos=1,2,101,102\r\nNormPos" + suffix + "=5,6,205,206\r\n", QRect(5, 6, 200, 200),
       false},
  };
  for (const PlacementCase& row : cases) {
    SCOPED_TRACE(row.name);
    TempPrefix prefix;
    prefix.WriteFile(kIni, "[VelmorMainFrm]\r\n" + row.body + "EplanVerz_Text=  'quoted'  \r\n");
    StoredForm stored;
    stored.Show();
    EXPECT_EQ(stored.form->isMaximized(), row.maximized);
    if (!row.maximized) {
      EXPECT_EQ(stored.form->geometry(), row.expected);
    }
    EXPECT_EQ(stored.first->text(), "quoted");  // texts come back whatever the placement did
  }
}

TEST(FormStorage, PlacementFlagsAreRestoredAndWrittenBack) {
  const std::string ppi = PpiLine();
  struct Row {
    const char* name;
    const char* body;
    bool restoresMaximized;
  };
  const Row rows[] = {
      {"minimized, back maximized", "Flags=2\r\nShowCmd=2\r\n", true},
      {"other flags kept as they are", "Flags=1\r\nShowCmd=1\r\n", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempPrefix prefix;
    ScriptedMessages messages;
    prefix.WriteFile(kIni, "[VelmorMainFrm]\r\n" + ppi + row.body + "NormPos=10,20,410,320\r\n");
    {
      StoredForm stored;
      stored.Show();
      if (row.restoresMaximized) QTRY_VERIFY(stored.form->isMinimized());
      EXPECT_EQ(stored.form->windowState().testFlag(Qt::WindowMaximized), row.restoresMaximized);
      EXPECT_TRUE(stored.form->close());
    }
    const std::optional<std::string> ini = prefix.ReadFile(kIni);
    ASSERT_TRUE(ini.has_value());
    EXPECT_NE(ini->find(row.body), std::string::npos) << *ini;
  }
}

TEST(FormStorage, QuotedTextsGetOneMorePairAndReadBackUnchanged) {
  struct Row {
    const char* text;
    const char* stored;
  };
  const Row rows[] = {{"\"D:\\EXF\"", "\"\"D:\\EXF\"\""},
                      {"'x'", "\"'x'\""},
                      {"\"", "\"\"\""},
                      {"'", "\"'\""},
                      {"\"x", "\"x"},
                      {"x'", "x'"},
                      {"", ""}};
  TempPrefix prefix;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ProfileWriteString("Velmor.INI", "S", "K", row.text);
    const std::optional<std::string> ini = prefix.ReadFile(kIni);
    ASSERT_TRUE(ini.has_value());
    EXPECT_NE(ini->find(std::string("K=") + row.stored + "\r\n"), std::string::npos) << *ini;
    EXPECT_EQ(ProfileReadString("Velmor.INI", "S", "K", "default"), row.text);
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
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].type, ScriptedMessages::Type::Error);
    EXPECT_EQ(messages.boxes[0].text, "nach Velmor.INI kann nicht geschrieben werden");
  }
  // Nothing was saved, so the destruction tried once more.
  EXPECT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(prefix.ReadFile(kIni), std::optional<std::string>("[VelmorMainFrm]\r\n"));
}

}  // namespace
}  // namespace velmor::ui
