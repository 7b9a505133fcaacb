#include "ui/VelmorApplication.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace velmor::ui {

VelmorApplication::VelmorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  Configure();
  // The error box closing must not end the program; only the main window's closing does.
  setQuitOnLastWindowClosed(true);
}

void VelmorApplication::Configure() {
  // Only the name: a display name would be appended to every window caption on the desktop
  // ("Kelvra nach EPLAN — Velmor", "Fehler — Velmor"), and the captions are the program's own texts.
  setApplicationName("Velmor");
  // Without a desktop session the icon theme is empty.
  QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << "/usr/share/icons");
  QIcon::setThemeName("Adwaita");
  // Ties the windows to the installed menu entry (Wayland's app id) and gives them the program's icon:
  // the installed theme icon where there is one, else the copy built into the program.
  setDesktopFileName(VELMOR_APP_ID);
  setWindowIcon(ApplicationIcon());
  LoadGermanQtTexts();
}

QIcon VelmorApplication::ApplicationIcon() {
  return QIcon::fromTheme(VELMOR_APP_ID, QIcon(":/icons/velmor-48.png"));
}

bool VelmorApplication::LoadGermanQtTexts() {
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  auto loaded = std::make_unique<QTranslator>();
  if (!loaded->load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  translator = loaded.release();  // lives as long as the program
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace velmor::ui
