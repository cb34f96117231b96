// The yardstick for the installer's start-up: the least a Qt Widgets program
// does to show a 600 by 400 window.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Minimal");
    window.setFixedSize(600, 400);
    window.show();
    return app.exec();
}
