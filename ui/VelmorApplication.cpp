#include "ui/VelmorApplication.h"

#include <QIcon>

#include "platform/Error.h"
#include "ui/MessageService.h"

namespace velmor::ui {

VelmorApplication::VelmorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("Velmor");
  setApplicationDisplayName("Velmor");
  // Without a desktop session the icon theme is empty.
  QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << "/usr/share/icons");
  QIcon::setThemeName("Adwaita");
  // The error box closing must not end the program; only the main window's closing does.
  setQuitOnLastWindowClosed(true);
}

bool VelmorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const VelmorError& error) {
    Messages().ErrorBox(QString::fromStdString(error.what()));
  } catch (const std::exception& error) {
    Messages().ErrorBox(QString::fromStdString(error.what()));
  }
  return true;
}

}  // namespace velmor::ui
