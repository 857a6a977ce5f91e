// The yardstick for the client's start: an empty Qt Widgets window, built in the same tree.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("KALVO minimal window");
    window.resize(947, 660);
    window.show();
    return QApplication::exec();
}
