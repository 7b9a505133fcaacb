// The application object of the window: its name, icon, icon theme and Qt's German texts. Errors never
// reach it: each handler catches them at its own boundary (RunGuarded in ui/MessageService.h).
#pragma once

#include <QApplication>
#include <QIcon>

namespace velmor::ui {

class VelmorApplication : public QApplication {
  Q_OBJECT

 public:
  VelmorApplication(int& argc, char** argv);

  // Names the running application, gives it its icon, makes the icon theme usable without a desktop
  // session and loads Qt's own German texts.
  static void Configure();
  // The program's icon: the installed theme icon, else the one built into the program.
  static QIcon ApplicationIcon();
  // Qt's German translation (qtbase_de.qm), so that the standard buttons and dialogs speak German
  // whatever the desktop's language; false when it is not installed (the texts stay English).
  static bool LoadGermanQtTexts();
};

}  // namespace velmor::ui
