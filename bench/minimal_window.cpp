// The yardstick for the client's start: an empty Qt Widgets window, built in the same tree.
#include <QApplication>
#include <QWidget>

// With KALVO_SHARE_GL set, the shared OpenGL context a browser engine loaded later needs.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("KALVO_SHARE_GL")) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("KALVO minimal window");
    window.resize(947, 660);
    window.show();
    return QApplication::exec();
}
