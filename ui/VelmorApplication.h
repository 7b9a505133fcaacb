// The application object of the window. Every event passes through notify(); an error that escapes an
// event handler (VelmorError with its German text, or any std::exception) is shown in the error box of
// Messages() and the event counts as handled, so the window stays usable and the loop goes on.
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

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace velmor::ui
