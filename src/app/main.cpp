#include "app/app_logging.h"
#include "app/main_form.h"
#include "app/web_plugin_loader.h"
#include "qt_common/app_icon.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPalette>
#include <QStyleFactory>
#include <cstring>
#include <kalvo_version.h>
#include <unistd.h>

namespace {

// The browser engine's Chromium will not start as root with its sandbox on, and takes the
// whole program down with it.
void PrepareWebEngine() {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") &&
        !kalvo::WebPluginLoader::Find().isEmpty()) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        qCInfo(lcKalvo) << "running as root: the web view's sandbox is turned off";
    }
}

bool AsksForTextOnly(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

// Processes the command line; --help and --version print their text and end the program.
bool DarkPaletteAsked(const QCoreApplication& application) {
    QCoreApplication::setApplicationName("kalvo-client");
    QCoreApplication::setApplicationVersion(KALVO_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A test client for the KALVO meter interface module: reads its register map over\n"
        "Modbus TCP or Modbus RTU and shows it decoded, as tables, a phasor diagram and a\n"
        "trend, with a frame-level communication log.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dark("dark", "Use a dark palette (Fusion style).");
    parser.addOption(dark);
    parser.process(application);
    return parser.isSet(dark);
}

// Fusion with a dark palette, for dark desktops and for checking the window in one.
void UseDarkPalette(QApplication& application) {
    application.setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    const QColor window(0x2B, 0x2D, 0x30);
    const QColor base(0x1E, 0x1F, 0x22);
    const QColor text(0xE6, 0xE6, 0xE6);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::red);
    dark.setColor(QPalette::Link, QColor(0x6C, 0xB4, 0xFF));
    dark.setColor(QPalette::Highlight, QColor(0x2F, 0x65, 0xCA));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    application.setPalette(dark);
}

} // namespace

// --help and --version answer before anything of the window is set up: without a display,
// without the web view's preparation and without its messages.
int main(int argc, char* argv[]) {
    if (AsksForTextOnly(argc, argv)) {
        const QCoreApplication text(argc, argv);
        DarkPaletteAsked(text);
        return 0;
    }
    PrepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(kalvo::AppIcon());
    if (DarkPaletteAsked(application)) {
        UseDarkPalette(application);
    }
    kalvo::TmainForm mainForm(kalvo::MainFormEnvironment::System());
    mainForm.show();
    return QApplication::exec();
}
