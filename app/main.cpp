// The desktop program. Until the start-up sequence stands, it shows one empty
// main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmaris 95");
  QMainWindow window;
  window.setObjectName("KQMainWindow");
  window.setWindowTitle("Velmaris 95");
  window.resize(640, 480);
  window.show();
  return app.exec();
}
