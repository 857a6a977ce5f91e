#include "app/main_form.h"
#include "app/report_printer.h"
#include "report/commissioning_report.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

using namespace kalvo;

// The commissioning report from the window: the same data as kalvo-poll's of the same module,
// and a PDF printed by the browser engine.
class ReportTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QString fChosen;
    QStringList fProposed;
    QStringList fErrors;
    QStringList fInformation;

    std::unique_ptr<TmainForm> NewForm() {
        return std::make_unique<TmainForm>(MainFormEnvironment{
            fDir.filePath("kalvo-client.ini"), [] { return QStringList(); },
            [this](QWidget*, const QString& text) { fErrors.append(text); },
            [this](QWidget*, const QString& text) { fErrors.append(text); },
            [this](QWidget*, const QString& text) { fInformation.append(text); },
            [](QWidget*, const QString&) { return true; },
            [this](QWidget*, const FileChoice& choice) {
                fProposed.append(choice.ProposedName);
                return fChosen;
            }});
    }
    static QString Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The data section with what depends on when it was read left out: times, the clock
    // check's deviation (the module's clock stands still in a fixed image) and the totaliser
    // check's tolerance (it allows for the meter's advance between the two reads).
    static QString Timeless(const QString& html) {
        QString data = QString::fromStdString(
            std::string(CommissioningReport::DataSection(html.toStdString())));
        data.replace(QRegularExpression(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"), "TIME");
        data.replace(QRegularExpression(R"(<td>[+-]\d+ s</td>)"), "<td>DEVIATION</td>");
        data.replace(QRegularExpression(R"(±[\d.]+ \(a count and the advance)"), "ADVANCE");
        return data;
    }
    static QString Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

private slots:
    // A Step against a module serving a fixed image: the window's report has the data section
    // of kalvo-poll's report of a Step of the same module, and its PDF (A4) holds the summary
    // and the serial number, printed without a console error.
    void theWindowsReportIsThePollersAndPrints() {
        QProcess sim;
        sim.start(KALVO_SIM, {"--listen", "127.0.0.1:0", "--fixed",
                              KALVO_SOURCE_DIR "/tests/e2e/data/fixed_image.txt"});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromUtf8(sim.readLine()).section(':', 2).section(' ', 0, 0);
        auto form = NewForm();
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
        form->findChild<QToolButton*>("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
        fChosen = fDir.filePath("window.html");
        form->SaveReport();
        QCOMPARE(fInformation, QStringList{"File successfully saved"});
        const QString serial =
            QString::fromStdString(CommissioningReport::SerialText(form->ReportContents()));
        QVERIFY(QRegularExpression("^KALVO_" + serial + R"(_report_\d{8}_\d{6}$)")
                    .match(fProposed.value(0))
                    .hasMatch());
        const QString poll = fDir.filePath("poll.html");
        Run(KALVO_POLL, {"--tcp", "127.0.0.1:" + port, "--report", poll});
        const QString window = Contents(fChosen);
        QVERIFY(window.contains("<main"));
        QCOMPARE(Timeless(window), Timeless(Contents(poll)));

        fChosen = fDir.filePath("window.pdf");
        QSignalSpy printed(form->Printer(), &ReportPrinter::finished);
        form->SaveReport();
        // One report at a time: the command waits for the one being printed.
        QVERIFY(!form->Printer()->Print("<p>other</p>", fDir.filePath("other.pdf")));
        QVERIFY(printed.wait(60000));
        QCOMPARE(printed.at(0).at(1).toBool(), true);
        QCOMPARE(form->Printer()->ConsoleErrors(), QStringList());
        QCOMPARE(fErrors, QStringList());
        const QString info = Run("pdfinfo", {fChosen});
        QVERIFY2(info.contains(
                     QRegularExpression(R"(Page size:\s+59[45][.\d]* x 84[12][.\d]* pts \(A4\))")),
                 qPrintable(info));
        // The header and checks, the rest of the checks, the phasors, two of trends, the
        // statistics, and a page for each of the four tables: every section that starts a
        // page starts one, and none spills over.
        QVERIFY2(info.contains(QRegularExpression(R"(Pages:\s+10\n)")), qPrintable(info));
        const QString text = Run("pdftotext", {"-layout", fChosen, "-"});
        QVERIFY(text.contains("KALVO commissioning report"));
        QVERIFY(text.contains(QRegularExpression(R"(14 checks: \d+ passed)")));
        QVERIFY(text.contains(serial));

        // A PDF that cannot be written is an error with its path, not a success.
        fChosen = fDir.filePath("missing/window.pdf");
        form->SaveReport();
        QVERIFY(printed.wait(60000));
        QCOMPARE(printed.at(1).at(1).toBool(), false);
        QCOMPARE(fErrors.size(), 1);
        QVERIFY2(fErrors[0].startsWith("Error saving file\r\n" + fChosen), qPrintable(fErrors[0]));
        sim.terminate();
        sim.waitForFinished();
    }

    // A Run against a module whose phase sequence is reversed: the PDF's first lines, after the
    // title and the summary, name the failed check and why it failed.
    void aRunsReportOpensWithTheFailedCheck() {
        QProcess sim;
        sim.start(KALVO_SIM, {"--listen", "127.0.0.1:0", "--reverse-sequence"});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromUtf8(sim.readLine()).section(':', 2).section(' ', 0, 0);
        auto form = NewForm();
        form->Settings().PollingDelayIndex = 0;
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
        form->findChild<QToolButton*>("readContinuous")->click();
        const auto readings = [&form] {
            const ReportData data = form->ReportContents();
            return data.Trends.empty() ? 0 : data.Trends[0].Series.Size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(readings() >= 3, 20000);
        form->findChild<QToolButton*>("readStop")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
        fChosen = fDir.filePath("run.pdf");
        QSignalSpy printed(form->Printer(), &ReportPrinter::finished);
        form->SaveReport();
        QVERIFY(printed.wait(60000));
        QVERIFY(printed.at(0).at(1).toBool());
        const QStringList lines =
            Run("pdftotext", {"-l", "1", fChosen, "-"}).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() > 3, qPrintable(lines.join('\n')));
        QCOMPARE(lines[0], "KALVO commissioning report");
        QVERIFY2(lines[1].contains("1 failed"), qPrintable(lines[1]));
        QCOMPARE(lines[2], "failed Phase sequence: phase sequence reversed");
        sim.terminate();
        sim.waitForFinished();
    }
};

// The browser engine as the client starts it: without the sandbox Chromium refuses for root.
int main(int argc, char* argv[]) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    ReportTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "report_test.moc"
