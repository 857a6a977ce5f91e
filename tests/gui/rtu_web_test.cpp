#include "app/main_form.h"
#include "app/web_plugin.h"
#include "pty_peer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <memory>
#include <thread>

using namespace kalvo;
using Bytes = test::PtyPeer::Bytes;
using Chunks = std::vector<test::PtyPeer::Chunk>;

// RTU runs from the main window against a pymodbus server behind a socat pair linked into the
// virtual-port folder, port discovery, and the web tab against a page served on loopback.
class RtuWebTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fRuntime;
    QStringList fErrors;
    QStringList fWarnings;
    QStringList fPorts;
    bool fUseSystemPorts = false;

    std::unique_ptr<TmainForm> NewForm() {
        return std::make_unique<TmainForm>(MainFormEnvironment{
            fRuntime.filePath("kalvo-client.ini"),
            [this] {
                return fUseSystemPorts ? MainFormEnvironment::System().ListSerialPorts() : fPorts;
            },
            [this](QWidget*, const QString& text) { fErrors.append(text); },
            [this](QWidget*, const QString& text) { fWarnings.append(text); },
            {},
            {},
            {}});
    }
    static void Click(TmainForm& form, const char* button) {
        form.findChild<QToolButton*>(button)->click();
    }
    static bool Idle(TmainForm& form) {
        return form.findChild<QToolButton*>("readStep")->isEnabled() &&
               !form.findChild<QToolButton*>("readStop")->isEnabled();
    }
    static QStringList Log(TmainForm& form) {
        QStringList lines;
        auto* log = form.findChild<QListWidget*>("listLog");
        for (int i = 0; i < log->count(); ++i) {
            lines.append(log->item(i)->text().section(' ', 1));
        }
        return lines;
    }
    static void UseRtu(TmainForm& form) {
        form.findChild<QRadioButton*>("RadioRTU")->setChecked(true);
        form.Settings().PollingDelayIndex = 0;
    }
    std::unique_ptr<TmainForm> FormOn(const test::PtyPeer& peer) {
        fPorts = {QString::fromStdString(peer.Path())};
        auto form = NewForm();
        UseRtu(*form);
        form->findChild<QComboBox*>("ComboSerials")->setCurrentIndex(0);
        return form;
    }
    // The reply of server 1 to a read of holding registers, register i holding 0x1000 + i.
    static Bytes ImageReply(const Bytes& request) {
        const int start = (request[2] << 8) | request[3];
        const int count = (request[4] << 8) | request[5];
        Bytes reply = {request[0], 0x03, static_cast<std::uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) {
            const int value = 0x1000 + start + i;
            reply.push_back(static_cast<std::uint8_t>(value >> 8));
            reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        return test::PtyPeer::WithCrc(reply);
    }

private slots:
    void init() {
        fErrors.clear();
        fWarnings.clear();
        fPorts.clear();
        fUseSystemPorts = false;
        QFile::remove(fRuntime.filePath("kalvo-client.ini"));
    }

    void stepOverRtuAgainstPymodbus() {
        qputenv("XDG_RUNTIME_DIR", fRuntime.path().toUtf8());
        QDir(fRuntime.path()).mkpath("kalvo-serial");
        const QString link = fRuntime.filePath("kalvo-serial/pymodbus");
        const QString serverEnd = fRuntime.filePath("server");
        QProcess pair;
        pair.start("socat", {"pty,raw,echo=0,link=" + link, "pty,raw,echo=0,link=" + serverEnd});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link) && QFile::exists(serverEnd), 10000);
        QProcess server;
        server.start("/usr/bin/python3",
                     {KALVO_SOURCE_DIR "/tests/e2e/pymodbus_rtu_server.py", serverEnd,
                      KALVO_SOURCE_DIR "/tests/e2e/data/fixed_image.txt"});
        QProcess probe;
        probe.start("/usr/bin/python3", {KALVO_SOURCE_DIR "/tests/e2e/wait_rtu_server.py", link});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        fUseSystemPorts = true;
        auto form = NewForm();
        auto* ports = form->findChild<QComboBox*>("ComboSerials");
        QVERIFY(ports->findText(link) >= 0);
        ports->setCurrentIndex(ports->findText(link));
        UseRtu(*form);
        Click(*form, "readStep");
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 15000);
        const QStringList log = Log(*form);
        QCOMPARE(log.size(), 4);
        QVERIFY(log[0].startsWith("Send: 0103000000798428"));
        QVERIFY(log[1].startsWith("Recv: 0103F2"));
        QVERIFY(log[2].startsWith("Send: 01030079007C"));
        QVERIFY(log[3].startsWith("Recv: 0103F8"));
        QCOMPARE(form->Statistics().Snapshot().Responses, 2);
        QCOMPARE(form->Grids()[0]->CellText(0, 7), "20261210");
        form.reset();
        server.terminate();
        server.waitForFinished();
        pair.terminate();
        pair.waitForFinished();
    }

    void rescanReportsAnEmptyListOnlyAfterStartUp() {
        auto form = NewForm();
        QVERIFY(fWarnings.isEmpty());
        Click(*form, "SpeedButton1");
        QCOMPARE(fWarnings,
                 QStringList{"Unable to list the serial ports\r\nNo serial ports available"});
        UseRtu(*form);
        form->findChild<QLineEdit*>("mbRTUaddr")->setText("x1");
        Click(*form, "readStep");
        QCOMPARE(fErrors,
                 (QStringList{"No serial port selected", "Invalid Modbus/RTU Server address"}));
    }

    void savedPortIsSelectedAtStartUpAndTheFirstAfterARescan() {
        fPorts = {"ttyS0", "ttyUSB0"};
        QSettings(fRuntime.filePath("kalvo-client.ini"), QSettings::IniFormat)
            .setValue("Config/SerialCOM", "ttyUSB0");
        auto form = NewForm();
        auto* ports = form->findChild<QComboBox*>("ComboSerials");
        QCOMPARE(ports->currentText(), "ttyUSB0");
        Click(*form, "SpeedButton1");
        QCOMPARE(ports->currentText(), "ttyS0");
    }

    void noPortChosenIsLoggedPlainly() {
        fPorts = {"ttyS0"};
        auto form = NewForm();
        UseRtu(*form);
        form->findChild<QComboBox*>("ComboSerials")->setCurrentIndex(-1);
        Click(*form, "readStep");
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 5000);
        QCOMPARE(Log(*form), QStringList{"Could not open serial port\r\nNo serial port selected"});
    }

    void aVanishedPortIsLoggedAndLeavesTheControlsIdle() {
        fPorts = {fRuntime.filePath("kalvo-serial/gone")};
        auto form = NewForm();
        UseRtu(*form);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Click(*form, "readStep");
            QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 5000);
            QCOMPARE(Log(*form).size(), 1);
            QVERIFY(form->findChild<QListWidget*>("listLog")->item(0)->text().contains(
                "Could not open serial port"));
        }
    }

    // Closing the window during a read takes under a second whatever the line does: a silent
    // module, another device talking all the time, a Step in progress.
    void closingDuringAnRtuReadIsPrompt() {
        for (const bool chatty : {false, true}) {
            test::PtyPeer peer([](const Bytes&) { return Chunks{}; });
            std::jthread chatter([&peer, chatty](std::stop_token stop) {
                while (chatty && !stop.stop_requested()) {
                    peer.Send(test::PtyPeer::WithCrc({0x07, 0x03, 0x02, 0x00, 0x01}));
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                }
            });
            auto form = FormOn(peer);
            form->show();
            Click(*form, chatty ? "readContinuous" : "readStep");
            QTRY_VERIFY(!peer.Frames().empty());
            if (chatty) {
                QTRY_VERIFY(!Log(*form).filter("Recv: 07").isEmpty());
            }
            QElapsedTimer closing;
            closing.start();
            QVERIFY(form->close());
            form.reset();
            QVERIFY2(closing.elapsed() < 1000, chatty ? "chatty bus" : "silent module");
        }
    }

    // The stopped run still waits for its reply and holds the port when Step is pressed.
    void stopThenStepReadsAtOnce() {
        std::atomic<int> requests = 0;
        test::PtyPeer peer([&requests](const Bytes& request) {
            return ++requests == 1 ? Chunks{} : Chunks{{ImageReply(request)}};
        });
        auto form = FormOn(peer);
        form->Settings().ResetStatistics = true;
        Click(*form, "readContinuous");
        QTRY_VERIFY(requests == 1);
        Click(*form, "readStop");
        Click(*form, "readStep");
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 5000);
        const QStringList log = Log(*form);
        QCOMPARE(log.size(), 4);
        QVERIFY(log[3].startsWith("Recv: 0103F8"));
        QCOMPARE(form->Statistics().Snapshot().Responses, 2);
        QCOMPARE(form->Statistics().Snapshot().Requests, 2);
    }

    // The adapter is pulled out during a Run: the run ends as a failed open ends it, and
    // the window still closes at once.
    void aPortThatHangsUpEndsTheRun() {
        std::atomic<int> requests = 0;
        test::PtyPeer peer([&requests](const Bytes& request) {
            return ++requests == 1 ? Chunks{{ImageReply(request)}}
                                   : Chunks{{Bytes(5, 0x01)}, {{}, 5, true}};
        });
        auto form = FormOn(peer);
        form->Settings().ResetStatistics = true;
        Click(*form, "readContinuous");
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 5000);
        const QStringList log = Log(*form);
        QCOMPARE(log.last(),
                 "Serial port " + QString::fromStdString(peer.Path()) + ": Input/output error");
        QCOMPARE(log.filter("Send: ").size(), 2);
        const CommStatisticsRecord counts = form->Statistics().Snapshot();
        QCOMPARE(counts.Responses, 1);
        QCOMPARE(counts.NoResponses, 1);
        QCOMPARE(counts.ConsecErrors, 1);
        // What was read before stays, marked stale; the state says the run failed.
        QVERIFY(form->Grids()[0]->Model()->Stale(0));
        QVERIFY(form->findChild<QLabel*>("LabelRunStatus")->toolTip().startsWith("Failed: 1 read"));
        QElapsedTimer closing;
        closing.start();
        form.reset();
        QVERIFY(closing.elapsed() < 1000);
    }

    // The web tools only on the web tab; Save everywhere else.
    void webToolBarOnlyOnTheWebTab() {
        auto form = NewForm();
        form->show();
        auto* pages = form->findChild<QTabWidget*>("PageControl1");
        auto* toolBar = form->findChild<QToolBar*>("WebToolBar");
        auto* save = form->findChild<QToolButton*>("SpeedButton5");
        for (int tab = 0; tab < pages->count(); ++tab) {
            pages->setCurrentIndex(tab);
            QCOMPARE(toolBar->isEnabled(), tab == 7);
            QCOMPARE(save->isEnabled(), tab != 7);
        }
    }

    // An address the standard reserves is used, with a word in the log.
    void aReservedAddressIsUsedWithAWarning() {
        fPorts = {"ttyKALVO_missing"};
        auto form = NewForm();
        UseRtu(*form);
        form->findChild<QComboBox*>("ComboSerials")->setCurrentIndex(0);
        form->findChild<QLineEdit*>("mbRTUaddr")->setText("250");
        Click(*form, "readStep");
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*form), 5000);
        QCOMPARE(Log(*form).first(),
                 "Server address 250 is reserved by the Modbus standard (248 to 255)");
    }

    void navigateOpensTheModulePage() {
        QTemporaryDir site;
        QFile page(site.filePath("index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><head><title>KALVO module</title></head><body>ok</body></html>");
        page.close();
        QProcess http;
        http.setWorkingDirectory(site.path());
        http.start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1"});
        QVERIFY(http.waitForStarted());
        // The banner names the port the server picked, once it listens.
        QByteArray output;
        const QRegularExpression portPattern("port (\\d+)");
        QTRY_VERIFY_WITH_TIMEOUT(
            portPattern.match(output += http.readAllStandardOutput()).hasMatch(), 20000);
        const QString port = portPattern.match(output).captured(1);
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        // Showing the page must leave the main window as it is: not re-created, not turned
        // into one composited through OpenGL.
        const WId window = form->winId();
        const QSurface::SurfaceType surface = form->windowHandle()->surfaceType();
        form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(7);
        QVERIFY(form->findChild<QWidget*>("WebBrowser1") == nullptr);
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1:" + port);
        Click(*form, "ToolButton1");
        auto* view = form->findChild<QWidget*>("WebBrowser1");
        QVERIFY(view != nullptr);
        auto* shown = view->property(kalvo::WebPlugin::kPageProperty).value<QObject*>();
        QVERIFY(shown != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(shown->property("title").toString(), QString("KALVO module"),
                                  30000);
        QCOMPARE(form->winId(), window);
        QCOMPARE(form->windowHandle()->surfaceType(), surface);
        QVERIFY(fErrors.isEmpty());
        http.terminate();
        http.waitForFinished();
        // The server is gone: the message names the address and the reason.
        Click(*form, "ToolButton2");
        QTRY_VERIFY_WITH_TIMEOUT(!fErrors.isEmpty(), 30000);
        QVERIFY2(
            fErrors.first().startsWith("Browser navigation error\r\nhttp://127.0.0.1:" + port) &&
                fErrors.first().size() >
                    QString("Browser navigation error\r\nhttp://127.0.0.1:" + port + "/: ").size(),
            qPrintable(fErrors.first()));
        form.reset();
    }
};

int main(int argc, char* argv[]) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication application(argc, argv);
    RtuWebTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "rtu_web_test.moc"
