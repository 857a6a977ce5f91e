#include "app/app_logging.h"
#include "app/main_form.h"
#include "qt_common/app_icon.h"

#include <QApplication>
#include <unistd.h>

namespace {

// The web view's Chromium will not start as root with its sandbox on, and takes the whole
// program down with it.
void PrepareWebEngine() {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        qCInfo(lcKalvo) << "running as root: the web view's sandbox is turned off";
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace

int main(int argc, char* argv[]) {
    PrepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(kalvo::AppIcon());
    kalvo::TmainForm mainForm(kalvo::MainFormEnvironment::System());
    mainForm.show();
    return QApplication::exec();
}
