// Marrowlane's entry: starts the Qt application and shows a window while the shell comes up.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Marrowlane");
  QApplication::setOrganizationDomain("marrowlane.org");

  QMainWindow window;
  window.setWindowTitle("Marrowlane");
  auto* fileMenu = window.menuBar()->addMenu("File");
  fileMenu->addAction("Quit", QKeySequence::Quit, &app, &QApplication::quit);
  auto* label = new QLabel("Marrowlane is running.", &window);  // owned by the window
  label->setAlignment(Qt::AlignCenter);
  window.setCentralWidget(label);
  window.resize(420, 180);
  window.show();
  return app.exec();
}
