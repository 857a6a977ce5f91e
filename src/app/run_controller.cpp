#include "app/run_controller.h"

#include "app/qt_message_queue.h"
#include "app/qt_polling_host.h"

#include <QEventLoop>
#include <algorithm>

namespace kalvo {

RunController::RunController(TmainForm& form, CommStatistics& statistics)
    : fStatistics(statistics), fHost(new QtPollingHost(form, *this)),
      fMessageQueue(new QtMessageQueue(this)) {}

RunController::~RunController() {
    Shutdown();
}

RunId RunController::BeginRun() {
    RetireRuns();
    const RunId run = ++fRunCounter;
    fHost->BeginRun(run);
    return run;
}

void RunController::StartTcp(TModbusTCPThread::Parameters parameters) {
    const RunId run = BeginRun();
    fRuns.push_back(
        std::make_unique<TModbusTCPThread>(*fHost, fStatistics, run, std::move(parameters)));
    fCurrent = fRuns.back().get();
}

// The serial connection is created here, on the UI thread, so that its results arrive here.
void RunController::StartRtu(TModbusRTUThread::Parameters parameters) {
    const RunId run = BeginRun();
    fRuns.push_back(std::make_unique<TModbusRTUThread>(*fHost, fStatistics, run, *fMessageQueue,
                                                       std::move(parameters)));
    fCurrent = fRuns.back().get();
}

void RunController::Stop() {
    if (fCurrent != nullptr) {
        fCurrent->Stop();
        fCurrent = nullptr;
    }
}

// Every wait of a run is interruptible, so an aborted run ends within moments; meanwhile this
// thread serves (and refuses) the calls it makes, and receives its end.
void RunController::RetireRuns() {
    if (fRuns.empty()) {
        return;
    }
    fHost->BeginRun(0);
    fCurrent = nullptr;
    for (const auto& poller : fRuns) {
        poller->Abort();
    }
    QEventLoop loop;
    connect(this, &RunController::runsFinished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void RunController::Shutdown() {
    fHost->SetClosing();
    RetireRuns();
}

void RunController::PollerThreadDone(RunId run, bool singleStep) {
    const auto ended = std::find_if(fRuns.begin(), fRuns.end(),
                                    [run](const auto& poller) { return poller->Run() == run; });
    if (ended == fRuns.end()) {
        return;
    }
    const bool current = fCurrent == ended->get();
    if (current) {
        fCurrent = nullptr;
    }
    fRuns.erase(ended);
    if (current && singleStep) {
        emit stepFinished();
    }
    if (fRuns.empty()) {
        emit runsFinished();
    }
}

} // namespace kalvo
