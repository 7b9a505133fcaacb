// The window program: the application object, the one main window, the message loop.
#include "ui/VelmorApplication.h"
#include "ui/VelmorMain.h"

int main(int argc, char** argv) {
  velmor::ui::VelmorApplication app(argc, argv);
  velmor::ui::TVelmorMainFrm window;
  window.setWindowIcon(app.ApplicationIcon());
  window.show();
  return app.exec();
}
