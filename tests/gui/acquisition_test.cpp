#include "app/main_form.h"
#include "app/register_table_model.h"
#include "app/run_controller.h"
#include "dialogs/debug_form.h"
#include "phasor/polar_diagram.h"
#include "registers/register_sheet.h"
#include "scripted_modbus_server.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <memory>
#include <numeric>

using namespace kalvo;
using test::ScriptedModbusServer;

class AcquisitionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QStringList fPorts;
    QStringList fErrors;
    QStringList fWarnings;
    std::array<std::uint16_t, 251> fImage{};
    std::unique_ptr<TmainForm> fForm;

    template <typename T> T* Child(const char* name) { return fForm->findChild<T*>(name); }
    QToolButton* Button(const char* name) { return Child<QToolButton>(name); }
    bool Enabled(const char* name) { return Child<QWidget>(name)->isEnabled(); }

    // The state table: Step, Run, Stop, kind panel, TCP panel, RTU panel.
    QList<bool> Controls() {
        return {Enabled("readStep"),         Enabled("readContinuous"),
                Enabled("readStop"),         Enabled("PanelModbusKind"),
                Enabled("PanelTCPSettings"), Enabled("PanelRTUSettings")};
    }
    // The run's state as the status bar has it, whole.
    QString RunState() { return Child<QLabel>("LabelRunStatus")->toolTip(); }
    void UseServer(const ScriptedModbusServer& server) {
        Child<QLineEdit>("TCPHostEdit")->setText("127.0.0.1");
        Child<QLineEdit>("TCPPortEdit")->setText(QString::number(server.Port()));
        fForm->Settings().PollingDelayIndex = 0;
    }

private slots:
    void init() {
        fErrors.clear();
        fPorts.clear();
        std::iota(fImage.begin(), fImage.end(), std::uint16_t{0x3000});
        fImage[0] = 0x4E61;
        fImage[1] = 0xBC00;
        fForm = std::make_unique<TmainForm>(
            MainFormEnvironment{fDir.filePath("kalvo-client.ini"),
                                [this] { return fPorts; },
                                [this](QWidget*, const QString& text) { fErrors.append(text); },
                                [this](QWidget*, const QString& text) { fWarnings.append(text); },
                                {},
                                {},
                                {}});
    }
    void cleanup() { fForm.reset(); }

    void stepFillsTheGridsAndRestoresTheControls() {
        ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
        UseServer(server);
        Button("readStep")->click();
        QCOMPARE(Controls(), (QList<bool>{false, false, true, false, false, true}));
        QTRY_VERIFY_WITH_TIMEOUT(Enabled("readStep"), 5000);
        QCOMPARE(Controls(), (QList<bool>{true, true, false, true, true, true}));
        QCOMPARE(server.Requests().size(), 2u);
        QVERIFY(RunState().startsWith("Step done: 2 reads, 0 failed, last good read "));
        const RegisterGrid& inst = *fForm->Grids()[0];
        QCOMPARE(inst.CellText(0, 5), "0x4E61BC00");
        QCOMPARE(inst.CellText(0, 6), "0x00BC614E");
        QCOMPARE(inst.CellText(0, 7), "12345678");
        QCOMPARE(fForm->Grids()[3]->CellText(46, 5), "0x30F330F4");
        auto* log = Child<QListWidget>("listLog");
        QCOMPARE(log->count(), 4);
        QVERIFY(log->item(3)->text().endsWith(" Successfully read 124 registers - pause 200 msec"));
    }

    // A Step at the longest interval waits a minute between its reads; Stop ends it at once.
    void aStepCanBeStopped() {
        ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
        UseServer(server);
        fForm->Settings().PollingDelayIndex = 6;
        Button("readStep")->click();
        QTRY_VERIFY(Child<QListWidget>("listLog")->count() == 2);
        QVERIFY(Enabled("readStop"));
        Button("readStop")->click();
        QCOMPARE(Controls(), (QList<bool>{true, true, false, true, true, true}));
        // Stop, not an abort, wakes the pause: the run's thread ends within moments.
        const RunController& runs = *fForm->findChild<RunController*>();
        QTRY_VERIFY_WITH_TIMEOUT(runs.CurrentState() == RunController::State::Idle, 1000);
        QCOMPARE(server.Requests().size(), 1u);
    }

    void runThenStopRestoresTheControlsAtOnce() {
        ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
        UseServer(server);
        Button("readContinuous")->click();
        QCOMPARE(Controls(), (QList<bool>{false, false, true, false, false, true}));
        QTRY_VERIFY(server.Requests().size() >= 3);
        QTRY_VERIFY(RunState().startsWith("Running: "));
        Button("readStop")->click();
        QCOMPARE(Controls(), (QList<bool>{true, true, false, true, true, true}));
        QVERIFY2(RunState().startsWith("Stopped: ") && RunState().contains(" 0 failed"),
                 qPrintable(RunState()));
        auto* log = Child<QListWidget>("listLog");
        QVERIFY(log->item(log->count() - 1)->text().endsWith(" Communication stopped"));
    }

    // A read that gets no reply leaves its block's values greyed with the time they were read,
    // in the tables and the diagram, and counts in the status bar; the next good read of the
    // block makes them current again.
    void valuesOfAFailedReadAreMarkedStaleUntilReadAgain() {
        std::atomic<int> requests = 0;
        ScriptedModbusServer server([this, &requests](const ScriptedModbusServer::Bytes& request) {
            return ++requests == 3 ? std::vector<ScriptedModbusServer::Segment>{}
                                   : std::vector<ScriptedModbusServer::Segment>{
                                         {ScriptedModbusServer::ImageReply(request, fImage)}};
        });
        UseServer(server);
        fForm->Settings().ReplyTimeoutS = 1;
        const RegisterTableModel& inst = *fForm->Grids()[0]->Model();
        const TPolarDiagram& diagram = *fForm->findChild<TPolarDiagram*>();
        Button("readContinuous")->click();
        QTRY_VERIFY_WITH_TIMEOUT(RunState().contains(" 1 failed"), 5000);
        for (std::size_t t = 0; t < RegisterTables().size(); ++t) {
            const RegisterTable& table = RegisterTables()[t];
            for (std::size_t row = 0; row < table.Rows.size(); ++row) {
                QCOMPARE(fForm->Grids()[t]->Model()->Stale(static_cast<int>(row)),
                         table.Rows[row].Block == RegisterBlock::A);
            }
        }
        const QString tip = inst.data(inst.index(0, 7), Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith("12345678\nStale: read at ") &&
                     tip.endsWith(", later reads failed"),
                 qPrintable(tip));
        QVERIFY(inst.data(inst.index(0, 7), Qt::ForegroundRole).isValid());
        QVERIFY(!inst.data(inst.index(0, 1), Qt::ForegroundRole).isValid());
        const bool diagramShowsBlockA = RegisterOf(Quantity::VoltageL1).Block == RegisterBlock::A;
        QCOMPARE(!diagram.StaleSince().isEmpty(), diagramShowsBlockA);
        QTRY_VERIFY_WITH_TIMEOUT(!inst.Stale(0), 5000);
        QVERIFY(diagram.StaleSince().isEmpty());
        Button("readStop")->click();
    }

    // A reading announces each cell whose text changed, on its own (a range would repaint the
    // whole view), and no other: a cell left out would keep showing the old value.
    void aReadingAnnouncesEachChangedCellAndNoOther() {
        const RegisterTable& table = RegisterTables()[0];
        RegisterTableModel model;
        model.FillRows(table);
        ModbusRegisters first;
        first.Store(0, fImage);
        model.SetSheet(RegisterSheet(table, first, "."));
        ModbusRegisters second = first;
        second[51] ^= 0x0100;
        second[2] += 1;
        const RegisterSheet before(table, first, ".");
        const RegisterSheet after(table, second, ".");
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        model.SetSheet(after);
        QSet<QPair<int, int>> expected;
        for (std::size_t row = 1; row < after.Rows().size(); ++row) {
            for (std::size_t column = 0; column < after.Rows()[row].size(); ++column) {
                if (before.Rows()[row][column] != after.Rows()[row][column]) {
                    expected.insert({static_cast<int>(row) - 1, static_cast<int>(column)});
                }
            }
        }
        QCOMPARE(expected.size(), 6);
        QSet<QPair<int, int>> announced;
        for (const QList<QVariant>& change : changes) {
            const auto topLeft = change[0].value<QModelIndex>();
            QCOMPARE(change[1].value<QModelIndex>(), topLeft);
            announced.insert({topLeft.row(), topLeft.column()});
        }
        QCOMPARE(announced, expected);
        QCOMPARE(changes.size(), expected.size());
    }

    // A typing mistake is reported and starts nothing; the last reading and its log stay.
    void invalidFieldsReportEveryFaultAndStartNothing() {
        ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
        UseServer(server);
        Button("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Enabled("readStep"), 5000);
        Child<QLineEdit>("TCPHostEdit")->setText("   ");
        Child<QLineEdit>("TCPPortEdit")->clear();
        Button("readStep")->click();
        QCOMPARE(fErrors, (QStringList{"Enter the TCP host name or address of the module.",
                                       " is not a valid TCP port number."}));
        QCOMPARE(fForm->Grids()[0]->CellText(0, 7), "12345678");
        QCOMPARE(Child<QListWidget>("listLog")->count(), 4);
        QCOMPARE(Controls(), (QList<bool>{true, true, false, true, true, true}));

        fErrors.clear();
        Child<QLineEdit>("TCPHostEdit")->setText("  127.0.0.1 ");
        Child<QLineEdit>("TCPPortEdit")->setText(QString::number(server.Port()));
        Button("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Enabled("readStep"), 5000);
        QVERIFY2(fErrors.isEmpty(), "blanks around the host are ignored");
        QCOMPARE(server.Requests().size(), 4u);

        fErrors.clear();
        Child<QLineEdit>("TCPHostEdit")->setText("localhost");
        Child<QLineEdit>("TCPPortEdit")->setText("70000");
        Button("readStep")->click();
        QCOMPARE(fErrors, (QStringList{"70000 is not a valid TCP port number."}));

        fErrors.clear();
        Child<QRadioButton>("RadioRTU")->setChecked(true);
        Child<QLineEdit>("mbRTUaddr")->setText("x1");
        Button("readStep")->click();
        QCOMPARE(fErrors,
                 (QStringList{"No serial port selected", "Invalid Modbus/RTU Server address"}));
        fErrors.clear();
        Child<QLineEdit>("mbRTUaddr")->setText("300");
        Button("readContinuous")->click();
        QVERIFY(fErrors.contains("Invalid Modbus/RTU Server address"));
        QCOMPARE(Child<QListWidget>("listLog")->count(), 4);
    }

    // Tab leaves a register table; Ctrl+Tab, Ctrl+PgDn, Ctrl+Shift+Tab and Ctrl+PgUp change
    // the tab wherever the focus is.
    void theKeyboardLeavesTablesAndChangesTabs() {
        fForm->show();
        QVERIFY(QTest::qWaitForWindowActive(fForm.get()));
        auto* pages = Child<QTabWidget>("PageControl1");
        QWidget* grid = Child<QWidget>("GridInst");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(!grid->hasFocus());
        grid->setFocus();
        const int tabs = pages->count();
        struct Case {
            QKeyCombination key;
            int expected;
        };
        const Case cases[] = {{Qt::CTRL | Qt::Key_Tab, 1},
                              {Qt::CTRL | Qt::Key_PageDown, 2},
                              {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 1},
                              {Qt::CTRL | Qt::Key_PageUp, 0},
                              {Qt::CTRL | Qt::Key_PageUp, tabs - 1}};
        for (const Case& c : cases) {
            QTest::keyClick(QApplication::focusWidget(), c.key.key(), c.key.keyboardModifiers());
            QCOMPARE(pages->currentIndex(), c.expected);
        }
    }

    void keyFilterLetsOnlyDigitsThrough() {
        for (const char* name : {"mbRTUaddr", "TCPPortEdit"}) {
            auto* field = Child<QLineEdit>(name);
            field->clear();
            QTest::keyClicks(field, "1a2.-3 ");
            QCOMPARE(field->text(), "123");
            QTest::keyClick(field, Qt::Key_Backspace);
            QCOMPARE(field->text(), "12");
            QTest::keyClick(field, Qt::Key_Home);
            QTest::keyClick(field, Qt::Key_Delete);
            QCOMPARE(field->text(), "2");
        }
    }

    void logKeepsTheNewest101Lines() {
        for (int line = 1; line <= 150; ++line) {
            fForm->AppendLog(QString("line %1").arg(line));
        }
        auto* log = Child<QListWidget>("listLog");
        QCOMPARE(log->count(), 101);
        QVERIFY(log->item(0)->text().endsWith(" line 50"));
        QVERIFY(log->item(100)->text().endsWith(" line 150"));
        QVERIFY(log->selectedItems().isEmpty());
        fForm->AppendLog("");
        QVERIFY(log->item(100)->text().endsWith(' '));
    }

    void logPanelButtonTogglesThePanel() {
        fForm->show();
        auto* panel = Child<QWidget>("Panel1");
        Button("SpeedButton4")->click();
        QVERIFY(!panel->isVisible());
        Button("SpeedButton4")->click();
        QVERIFY(panel->isVisible());
    }

    void statisticsWindowShowsNotAvailableAfterReset() {
        fForm->Statistics().CountRequest();
        TdebugForm& debug = *fForm->DebugForm();
        debug.UpdateDebugWindow();
        QCOMPARE(debug.Field("Requests")->text(), "1");
        QVERIFY(debug.Field("Last request - Time")->text() != "N/A");
        QCOMPARE(debug.Field("Last valid response - Time")->text(), "N/A");
        debug.findChild<QWidget*>("Button1")->setFocus();
        QTest::mouseClick(debug.findChild<QWidget*>("Button1"), Qt::LeftButton);
        for (const char* label :
             {"Requests", "Responses", "Timeout responses", "Max consec errors"}) {
            QCOMPARE(debug.Field(label)->text(), "0");
        }
        for (const char* label :
             {"Last request - Time", "Last valid response - Time", "Last consec. error - Time"}) {
            QCOMPARE(debug.Field(label)->text(), "N/A");
        }
        fForm->show();
        QTest::mouseDClick(Child<QListWidget>("listLog")->viewport(), Qt::LeftButton);
        QVERIFY(debug.isVisible());
        QTest::keyClick(&debug, Qt::Key_Escape);
        QVERIFY(!debug.isVisible());
    }

    // Closing during a read, or while a Step waits for the stopped run to end, is prompt
    // (the read would wait its 15 s), hides the statistics window and starts nothing.
    void closingIsPromptAndStartsNothing() {
        for (const bool stepWaiting : {false, true}) {
            cleanup();
            init();
            ScriptedModbusServer server([](const ScriptedModbusServer::Bytes&) {
                return std::vector<ScriptedModbusServer::Segment>{};
            });
            UseServer(server);
            fForm->show();
            Button("readContinuous")->click();
            QTRY_VERIFY(!server.Requests().empty());
            const RunController& runs = *fForm->findChild<RunController*>();
            if (stepWaiting) {
                Button("readStop")->click();
                Button("readStep")->click();
                QCOMPARE(runs.CurrentState(), RunController::State::Retiring);
            }
            fForm->DebugForm()->show();
            QElapsedTimer closing;
            closing.start();
            QVERIFY(fForm->close());
            QVERIFY(!fForm->DebugForm()->isVisible());
            QCoreApplication::processEvents();
            QCOMPARE(runs.CurrentState(), RunController::State::Closing);
            QCOMPARE(server.Requests().size(), 1u);
            fForm.reset();
            QVERIFY2(closing.elapsed() < 1000, stepWaiting ? "a Step waiting" : "a read");
        }
    }

    // The stopped run is still waiting for its reply (15 s) when Step is pressed: the Step
    // reads at once, and nothing of the stopped run reaches its log or statistics.
    void stopThenStepReadsAtOnce() {
        std::atomic<int> requests = 0;
        ScriptedModbusServer server([this, &requests](const ScriptedModbusServer::Bytes& request) {
            if (++requests == 1) {
                return std::vector<ScriptedModbusServer::Segment>{};
            }
            return std::vector<ScriptedModbusServer::Segment>{
                {ScriptedModbusServer::ImageReply(request, fImage)}};
        });
        UseServer(server);
        fForm->Settings().ResetStatistics = true;
        Button("readContinuous")->click();
        QTRY_VERIFY(requests == 1);
        Button("readStop")->click();
        QElapsedTimer stepping;
        stepping.start();
        Button("readStep")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Enabled("readStep"), 5000);
        QVERIFY(stepping.elapsed() < 2000);
        auto* log = Child<QListWidget>("listLog");
        QCOMPARE(log->count(), 4);
        QVERIFY(log->item(3)->text().endsWith(" Successfully read 124 registers - pause 200 msec"));
        const CommStatisticsRecord counts = fForm->Statistics().Snapshot();
        QCOMPARE(counts.Requests, 2);
        QCOMPARE(counts.Responses, 2);
        QCOMPARE(counts.NoResponses, 0);
    }
};

QTEST_MAIN(AcquisitionTest)
#include "acquisition_test.moc"
