#include "app/checks_tab.h"
#include "app/export_file_names.h"
#include "app/main_form.h"
#include "dialogs/about_form.h"
#include "dialogs/settings_form.h"
#include "phasor/polar_diagram.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <unistd.h>

using namespace kalvo;

class DialogsExportTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QString fChosen;
    QStringList fProposed;
    QStringList fFolders;
    QStringList fErrors;
    QStringList fInformation;
    bool fOverwrite = false;
    // When set, every save goes into this folder under the proposed name.
    QString fSaveFolder;
    QStringList fTitles;

    std::unique_ptr<TmainForm> NewForm() {
        return std::make_unique<TmainForm>(MainFormEnvironment{
            fDir.filePath("kalvo-client.ini"),
            [] { return QStringList(); },
            [this](QWidget*, const QString& text) { fErrors.append(text); },
            {},
            [this](QWidget*, const QString& text) { fInformation.append(text); },
            [this](QWidget*, const QString&) { return fOverwrite; },
            [this](QWidget*, const FileChoice& choice) {
                fProposed.append(choice.ProposedName);
                fFolders.append(choice.Folder);
                fTitles.append(choice.Title);
                return fSaveFolder.isEmpty() ? fChosen : fSaveFolder + "/" + choice.ProposedName;
            }});
    }
    static void Save(TmainForm& form, int tab) {
        form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab);
        form.findChild<QToolButton*>("SpeedButton5")->click();
    }
    // kalvo-sim on a free loopback port with the fixed image and `fault`; its port.
    static QString StartSimulator(QProcess& sim, const QStringList& fault) {
        sim.start(KALVO_SIM, QStringList{"--listen", "127.0.0.1:0", "--fixed",
                                         KALVO_SOURCE_DIR "/tests/e2e/data/fixed_image.txt"} +
                                 fault);
        if (!sim.waitForReadyRead(5000)) {
            return {};
        }
        return QString::fromUtf8(sim.readLine()).section(':', 2).section(' ', 0, 0);
    }
    static QByteArray Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init() {
        fChosen.clear();
        fProposed.clear();
        fFolders.clear();
        fErrors.clear();
        fInformation.clear();
        fOverwrite = false;
        fSaveFolder.clear();
    }

    void settingsCorrectAnIndexOutsideTheList() {
        for (int stored : {9, -1}) {
            PollSettings settings{stored, false};
            TFormSettings form(settings, nullptr);
            QCOMPARE(settings.PollingDelayIndex, 2);
            QCOMPARE(form.Polling()->currentText(), "1000");
        }
    }

    void settingsOkCancelAndTheCloseButton() {
        PollSettings settings;
        TFormSettings form(settings, nullptr);
        form.show();
        form.Polling()->setCurrentIndex(3);
        form.reject();
        QCOMPARE(form.Polling()->currentText(), "1000");
        QCOMPARE(settings.PollingDelayIndex, 2);
        form.show();
        form.Polling()->setCurrentIndex(3);
        form.findChild<QPushButton*>("btnOk")->click();
        QCOMPARE(settings.PollingDelayIndex, 3);
        QCOMPARE(form.PollingDelayMs(3), 5000);
        form.show();
        form.StatReset()->setChecked(true);
        form.close();
        form.show();
        form.reject();
        QVERIFY(form.StatReset()->isChecked());
        QVERIFY(!settings.ResetStatistics);
        QCOMPARE(form.ReplyTimeout()->value(), 15);
        form.ReplyTimeout()->setValue(3);
        form.reject();
        QCOMPARE(form.ReplyTimeout()->value(), 15);
        form.show();
        form.ReplyTimeout()->setValue(3);
        form.findChild<QPushButton*>("btnOk")->click();
        QCOMPARE(settings.ReplyTimeoutS, 3);
    }

    void menuEntriesOpenTheirDialogs() {
        auto form = NewForm();
        form->show();
        bool settingsShown = false;
        QTimer::singleShot(200, [&] {
            settingsShown = form->SettingsForm()->isVisible();
            form->SettingsForm()->reject();
        });
        for (QAction* action : form->findChildren<QAction*>()) {
            if (action->text() == "&Settings ...") {
                action->trigger();
            }
        }
        QVERIFY(settingsShown);
    }

    void exportExtensionRules() {
        const std::pair<QString, QString> csv[] = {
            {"/d/report", "/d/report.csv"},
            {"/d/report.txt", "/d/report.txt.csv"},
            {"/d/report.CSV", "/d/report.CSV"},
            {"/d/my.folder/report", "/d/my.folder/report.csv"}};
        for (const auto& [chosen, saved] : csv) {
            QCOMPARE(CsvFileName(chosen), saved);
        }
        QCOMPARE(BmpFileName("/d/phasor"), "/d/phasor.bmp");
        QCOMPARE(BmpFileName("/d/phasor.bmp"), "/d/phasor.bmp");
        QCOMPARE(BmpFileName("/d/phasor.BMP"), "/d/phasor.BMP");
    }

    // A file chooser starts in the folder last used for its kind of file, also after a
    // restart; another kind starts where it did. Its title says what it saves.
    void choosersStartInTheFolderLastUsed() {
        QDir(fDir.path()).mkdir("tables");
        {
            auto form = NewForm();
            fChosen = fDir.filePath("tables/first");
            Save(*form, 0);
            Save(*form, 1);
            fChosen = fDir.filePath("diagram");
            Save(*form, 4);
            fChosen = fDir.filePath("tables/recording");
            auto* record = form->findChild<QToolButton*>("readRecord");
            record->click();
            record->click();
            form->close();
        }
        auto again = NewForm();
        fChosen = fDir.filePath("tables/third");
        Save(*again, 0);
        again->findChild<QToolButton*>("readRecord")->click();
        const QString tables = QDir(fDir.filePath("tables")).absolutePath();
        const QString working = QDir::currentPath();
        QCOMPARE(fFolders, (QStringList{working, tables, working, working, tables, tables}));
        QCOMPARE(fTitles.mid(0, 4),
                 (QStringList{"Save the table as CSV", "Save the table as CSV",
                              "Save the phasor diagram as a bitmap", "Record the Run to"}));
    }

    void phaseValuesBeforeAnyRead() {
        auto form = NewForm();
        fChosen = fDir.filePath("phase");
        Save(*form, 1);
        QCOMPARE(fProposed, QStringList{"KALVO__Phase values"});
        QCOMPARE(fInformation, QStringList{"File successfully saved"});
        const QList<QByteArray> lines = Contents(fDir.filePath("phase.csv")).split('\n');
        QCOMPARE(lines.size(), 31);
        QCOMPARE(lines.last(), QByteArray());
        QVERIFY(lines[29].endsWith(",,,\r"));
        QCOMPARE(lines[1], QByteArray("81.7.40,58,float,4,\"Angolo di fase R\",,,\r"));
    }

    void overwriteNoKeepsTheOldFileAndTabsAreQuoted() {
        auto form = NewForm();
        fChosen = fDir.filePath("profile.csv");
        QFile old(fChosen);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        Save(*form, 2);
        QCOMPARE(Contents(fChosen), QByteArray("old"));
        QVERIFY(fInformation.isEmpty());
        fOverwrite = true;
        Save(*form, 2);
        QVERIFY(Contents(fChosen).contains("\"Byte 0-1\tora (0-24)\""));
    }

    // After a Step against a faulty module the Checks tab holds the verdicts kalvo-poll gives
    // the same module, its caption and the status bar say what failed, each row reads
    // through the accessibility interface, and Save writes the table as CSV.
    void theChecksTabAgreesWithThePoller() {
        QProcess sim;
        sim.start(KALVO_SIM,
                  {"--listen", "127.0.0.1:0", "--reverse-ct", "L2", "--frequency", "70"});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromUtf8(sim.readLine()).section(':', 2).section(' ', 0, 0);
        auto form = NewForm();
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
        form->findChild<QToolButton*>("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
        QProcess poll;
        poll.start(KALVO_POLL, {"--tcp", "127.0.0.1:" + port, "--check", "--format", "json"});
        QVERIFY(poll.waitForFinished(10000));
        QCOMPARE(poll.exitCode(), 3);
        const QJsonArray polled = QJsonDocument::fromJson(poll.readAllStandardOutput())
                                      .object()
                                      .value("checks")
                                      .toArray();
        auto* tab = form->findChild<ChecksTab*>();
        QCOMPARE(static_cast<qsizetype>(tab->Results().size()), polled.size());
        // The table is filled when the tab is shown.
        QCOMPARE(tab->Table()->rowCount(), 0);
        form->show();
        form->findChild<QTabWidget*>("PageControl1")->setCurrentWidget(tab);
        QCOMPARE(tab->Table()->rowCount(), polled.size());
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(tab->Table());
        QVERIFY(table != nullptr && table->tableInterface() != nullptr);
        for (int row = 0; row < polled.size(); ++row) {
            const CheckResult& shown = tab->Results()[static_cast<std::size_t>(row)];
            const QJsonObject other = polled[row].toObject();
            QCOMPARE(QString::fromStdString(std::string(shown.Key())),
                     other.value("id").toString());
            QCOMPARE(QString(VerdictText(shown.Outcome).data()), other.value("verdict").toString());
            QAccessibleInterface* cell = table->tableInterface()->cellAt(row, 1);
            QVERIFY(cell != nullptr);
            QCOMPARE(cell->text(QAccessible::Name), other.value("verdict").toString());
        }
        // Every text fits its column (the last one takes what is left of the width).
        const QTableWidget& shownTable = *tab->Table();
        for (int row = 0; row < shownTable.rowCount(); ++row) {
            for (int c = 0; c + 1 < shownTable.columnCount(); ++c) {
                const QTableWidgetItem& item = *shownTable.item(row, c);
                const int icon = item.icon().isNull() ? 0 : shownTable.iconSize().width();
                QVERIFY2(shownTable.fontMetrics().horizontalAdvance(item.text()) + icon <
                             shownTable.columnWidth(c),
                         qPrintable(item.text()));
            }
        }
        auto* pages = form->findChild<QTabWidget*>("PageControl1");
        QCOMPARE(pages->tabText(pages->indexOf(tab)), "Checks (1 failed)");
        QVERIFY(
            form->findChild<QLabel*>("LabelRunStatus")->toolTip().contains("1 warning, 1 failed"));
        fChosen = fDir.filePath("checks");
        pages->setCurrentWidget(tab);
        form->findChild<QToolButton*>("SpeedButton5")->click();
        const QByteArray csv = Contents(fDir.filePath("checks.csv"));
        QVERIFY(csv.startsWith("Check,Verdict,Measured,"));
        QVERIFY(csv.contains("current transformer on L2 reversed?"));
        sim.terminate();
        sim.waitForFinished();
    }

    void webTabSavesNothingAndTheDiagramSavesABitmap() {
        auto form = NewForm();
        form->resize(940, 620);
        form->show();
        fChosen = fDir.filePath("phasor");
        Save(*form, 7);
        QVERIFY(fProposed.isEmpty());
        form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(4);
        QTRY_VERIFY(form->PolarDiagram()->Image().size() == form->PolarDiagram()->size());
        Save(*form, 4);
        const QImage saved(fDir.filePath("phasor.bmp"));
        QCOMPARE(saved.size(), form->PolarDiagram()->size());
    }

    void csvWriteFailureIsShown() {
        auto form = NewForm();
        QTemporaryDir locked;
        if (geteuid() == 0) {
            QFile blocker(locked.filePath("file"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            fChosen = locked.filePath("file/inside");
        } else {
            QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
            fChosen = locked.filePath("inside");
        }
        Save(*form, 0);
        QCOMPARE(fErrors.size(), 1);
        QVERIFY(fErrors[0].startsWith("Error saving file\r\n" + fChosen + ".csv: "));
        QVERIFY(fInformation.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // The window's export and kalvo-poll's files are the same bytes after a good read, after a
    // read whose block B failed, and after a run in which nothing was read.
    void theWindowExportsWhatThePollerWrites() {
        const QStringList faults[] = {{}, {"--exception", "2:b"}, {"--exception", "2"}};
        for (const QStringList& fault : faults) {
            QProcess sim;
            const QString port = StartSimulator(sim, fault);
            QVERIFY(!port.isEmpty());
            auto form = NewForm();
            form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
            form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
            form->Settings().PollingDelayIndex = 0;
            form->findChild<QToolButton*>("readStep")->click();
            QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
            QTemporaryDir window;
            QTemporaryDir poller;
            fSaveFolder = window.path();
            for (int tab = 0; tab < 4; ++tab) {
                Save(*form, tab);
            }
            QProcess poll;
            poll.setStandardOutputFile(QProcess::nullDevice());
            poll.start(KALVO_POLL, {"--tcp", "127.0.0.1:" + port, "--interval", "20", "--format",
                                    "csv", "--csv-dir", poller.path()});
            QVERIFY(poll.waitForFinished(30000));
            sim.terminate();
            sim.waitForFinished();
            const QStringList written = QDir(window.path()).entryList(QDir::Files);
            QCOMPARE(written.size(), 4);
            QCOMPARE(QDir(poller.path()).entryList(QDir::Files), written);
            for (const QString& name : written) {
                QVERIFY2(Contents(window.filePath(name)) == Contents(poller.filePath(name)),
                         qPrintable(fault.join(' ') + ": " + name));
            }
        }
    }

    // The window's recording and kalvo-poll's hold the same header and cells for the same
    // reads, times aside: both blocks read, and block B failing (its rows missing).
    void theWindowRecordsWhatThePollerRecords() {
        const QStringList faults[] = {{}, {"--exception", "2:b"}};
        for (const QStringList& fault : faults) {
            QProcess sim;
            const QString port = StartSimulator(sim, fault);
            QVERIFY(!port.isEmpty());
            QTemporaryDir folder;
            auto form = NewForm();
            form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
            form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
            form->Settings().PollingDelayIndex = 0;
            fChosen = folder.filePath("window");
            form->findChild<QToolButton*>("readRecord")->click();
            QCOMPARE(fProposed.last().left(6), "KALVO_");
            form->findChild<QToolButton*>("readStep")->click();
            QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
            form->findChild<QToolButton*>("readRecord")->click();
            QProcess poll;
            poll.setStandardOutputFile(QProcess::nullDevice());
            poll.start(KALVO_POLL, {"--tcp", "127.0.0.1:" + port, "--interval", "20", "--record",
                                    folder.filePath("poller.csv")});
            QVERIFY(poll.waitForFinished(30000));
            sim.terminate();
            sim.waitForFinished();
            const QList<QByteArray> window = Contents(folder.filePath("window.csv")).split('\n');
            const QList<QByteArray> poller = Contents(folder.filePath("poller.csv")).split('\n');
            QCOMPARE(window.size(), fault.isEmpty() ? 4 : 3);
            QCOMPARE(poller.size(), window.size());
            QCOMPARE(window[0], poller[0]);
            for (int line = 1; line + 1 < window.size(); ++line) {
                QCOMPARE(window[line].mid(window[line].indexOf(',')),
                         poller[line].mid(poller[line].indexOf(',')));
            }
        }
    }

    // A recording that cannot write its row stops, says why and releases its button; the Run
    // reads on.
    void aRecordingThatCannotWriteStopsAndSaysSo() {
        QProcess sim;
        const QString port = StartSimulator(sim, {});
        QVERIFY(!port.isEmpty());
        auto form = NewForm();
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form->findChild<QLineEdit*>("TCPPortEdit")->setText(port);
        form->Settings().PollingDelayIndex = 0;
        fErrors.clear();
        fChosen = fDir.filePath("missing/window");
        auto* record = form->findChild<QToolButton*>("readRecord");
        record->click();
        QVERIFY(record->isChecked());
        form->findChild<QToolButton*>("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QToolButton*>("readStep")->isEnabled(), 10000);
        sim.terminate();
        sim.waitForFinished();
        QCOMPARE(fErrors.size(), 1);
        QVERIFY2(fErrors[0].startsWith("Recording stopped\r\n" + fChosen), qPrintable(fErrors[0]));
        QVERIFY(!record->isChecked());
        QCOMPARE(form->Statistics().Snapshot().Responses, 2);
    }

    void aboutBoxTextsKeysAndPicture() {
        QVERIFY(QImageReader::supportedImageFormats().contains("jpeg"));
        QImageReader picture(":/dialogs/images/about.jpg");
        TfrmAbout box(nullptr);
        QCOMPARE(picture.read().size(), QSize(460, 300));
        QCOMPARE(box.findChild<QLabel*>("memoCopyright")->text(), TfrmAbout::kAboutText);
        QVERIFY(TfrmAbout::kAboutText.startsWith("KALVO client ver. 1.1\r\n"));
        QVERIFY(box.findChild<QLabel*>("OS")->text().startsWith("Linux "));
        QVERIFY(box.findChild<QLabel*>("PhysMem")->text().endsWith(" KB"));
        QCOMPARE(box.findChild<QLabel*>("Label3")->text(), "Memoria disponibile a Linux:");
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Q);
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(DialogsExportTest)
#include "dialogs_export_test.moc"
