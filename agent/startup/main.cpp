#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.setWindowTitle(QStringLiteral("Helvora Agent"));
  w.resize(484, 621);
  w.show();
  return app.exec();
}
