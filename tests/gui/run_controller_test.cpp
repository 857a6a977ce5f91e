// The run controller on its own: no window, a register image and the events it emits.
#include "app/run_controller.h"
#include "scripted_modbus_server.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>
#include <numeric>
#include <thread>

using namespace kalvo;
using test::ScriptedModbusServer;

namespace {

using Segments = std::vector<ScriptedModbusServer::Segment>;

ScriptedModbusServer::Handler Silent() {
    return [](const ScriptedModbusServer::Bytes&) { return Segments{}; };
}

TModbusTCPThread::Parameters Reading(const ScriptedModbusServer& server) {
    return {"127.0.0.1", server.Port(), RunLifecycle::kRunCycles, 10, false};
}

// A poller whose thread ignores stop and abort and ends only when released; meanwhile it
// keeps calling its host, as a poller handing over blocks does.
class StubbornPoller : public Poller {
public:
    StubbornPoller(PollingHost& host, RunId run) : fRun(run) {
        fThread = std::thread([this, &host] {
            while (!fReleased) {
                host.AppendLog(fRun, "still here");
            }
            fFinished = true;
            host.ThreadDone(fRun, false);
        });
    }
    ~StubbornPoller() override {
        fReleased = true;
        Join();
    }
    RunId Run() const override { return fRun; }
    bool SingleStep() const override { return false; }
    void Stop() override {}
    void Abort() override {}
    bool Finished() const override { return fFinished; }
    void Join() override {
        if (fThread.joinable()) {
            fThread.join();
        }
    }
    void Release() { fReleased = true; }

private:
    const RunId fRun;
    std::atomic<bool> fReleased = false;
    std::atomic<bool> fFinished = false;
    std::thread fThread;
};

} // namespace

class RunControllerTest : public QObject {
    Q_OBJECT

private:
    std::array<std::uint16_t, 251> fImage{};
    ModuleSession fSession;

private slots:
    void init() { std::iota(fImage.begin(), fImage.end(), std::uint16_t{0x2000}); }

    // The stopped run waits 15 s for a reply; a new start cuts it short and returns at once,
    // the new run starts when the old thread has ended, and what it reads is in the image
    // when it is announced.
    void aStartWaitsForTheRetiringRunWithoutBlocking() {
        ScriptedModbusServer silent(Silent());
        ScriptedModbusServer serving(ScriptedModbusServer::Serving(fImage));
        RunController runs(fSession);
        QSignalSpy blocks(&runs.Events(), &QtPollingHost::blockRead);
        runs.StartTcp(Reading(silent));
        QTRY_VERIFY(!silent.Requests().empty());
        runs.StartTcp(Reading(serving));
        QCOMPARE(runs.CurrentState(), RunController::State::Retiring);
        QVERIFY(serving.Requests().empty());
        QTRY_VERIFY_WITH_TIMEOUT(!blocks.isEmpty(), 1000);
        QCOMPARE(runs.CurrentState(), RunController::State::Running);
        QCOMPARE(fSession.Image()[0], fImage[0]);
        QCOMPARE(blocks.first().at(0).value<RegisterBlock>(), RegisterBlock::A);
    }

    // Closed while a start waits for the retiring run: nothing starts, then or later.
    void closeWhileRetiringStartsNothing() {
        ScriptedModbusServer silent(Silent());
        ScriptedModbusServer serving(ScriptedModbusServer::Serving(fImage));
        RunController runs(fSession);
        runs.StartTcp(Reading(silent));
        QTRY_VERIFY(!silent.Requests().empty());
        int made = 0;
        auto make = [&](PollingHost& host, RunId run) -> std::unique_ptr<Poller> {
            ++made;
            return std::make_unique<TModbusTCPThread>(host, fSession.Statistics(), run,
                                                      Reading(serving));
        };
        runs.Start(make);
        QElapsedTimer closing;
        closing.start();
        runs.Close();
        QVERIFY2(closing.elapsed() < 1000, "the read in flight would wait its 15 s");
        QCoreApplication::processEvents();
        runs.Start(make);
        QCoreApplication::processEvents();
        QCOMPARE(made, 0);
        QCOMPARE(runs.CurrentState(), RunController::State::Closing);
    }

    // A run that does not end within the deadline fails the start that waits for it.
    void runsThatDoNotEndInTimeFailTheStart() {
        RunController runs(fSession);
        StubbornPoller* stubborn = nullptr;
        runs.Start([&stubborn](PollingHost& host, RunId run) {
            auto poller = std::make_unique<StubbornPoller>(host, run);
            stubborn = poller.get();
            return poller;
        });
        QSignalSpy failed(&runs, &RunController::startFailed);
        bool made = false;
        runs.Start([&made](PollingHost&, RunId) -> std::unique_ptr<Poller> {
            made = true;
            return nullptr;
        });
        QVERIFY(failed.wait(RunController::kRetireDeadlineMs + 3000));
        QCOMPARE(failed.first().at(0).toString(), "The previous run could not be ended within 2 s");
        QVERIFY(!made);
        stubborn->Release();
        QTRY_COMPARE(runs.CurrentState(), RunController::State::Idle);
        QVERIFY(!made);
    }

    // A poller waiting for its call to be served is released when closing, so the close can
    // join it without serving it.
    void closeReleasesAPollerWaitingForItsCall() {
        RunController runs(fSession);
        QSignalSpy lines(&runs.Events(), &QtPollingHost::logLine);
        QSignalSpy begun(&runs.Events(), &QtPollingHost::runBegun);
        StubbornPoller* stubborn = nullptr;
        runs.Start([&stubborn](PollingHost& host, RunId run) {
            auto poller = std::make_unique<StubbornPoller>(host, run);
            stubborn = poller.get();
            return poller;
        });
        // The session begins with the run, before (and whether or not) it reads anything.
        QCOMPARE(begun.size(), 1);
        QVERIFY(lines.wait(5000));
        // Its next call waits for this thread, which serves nothing more from here on.
        stubborn->Release();
        runs.Close();
    }

    // A poller's call that arrives once a newer run has begun reaches neither the session nor
    // a view, and does not keep the poller waiting; the newer run's calls do.
    void aRetiredRunsCallsReachNoView() {
        QtPollingHost host(fSession, nullptr);
        host.BeginRun(2);
        QSignalSpy lines(&host, &QtPollingHost::logLine);
        QSignalSpy blocks(&host, &QtPollingHost::blockRead);
        const ModbusRegisters before = fSession.Image();
        std::atomic<bool> done = false;
        std::thread poller([&] {
            host.AppendLog(1, "retired");
            host.RefreshDisplay(1, RegisterBlock::A, std::span(fImage).first(121));
            host.AppendLog(2, "current");
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
        poller.join();
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().at(0).toString(), "current");
        QVERIFY(blocks.isEmpty());
        QCOMPARE(fSession.Image()[0], before[0]);
    }
};

QTEST_MAIN(RunControllerTest)
#include "run_controller_test.moc"
