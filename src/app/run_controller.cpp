#include "app/run_controller.h"

#include "app/qt_message_queue.h"

#include <algorithm>

namespace kalvo {

RunController::RunController(ModuleSession& session, QObject* parent)
    : QObject(parent), fStatistics(session.Statistics()), fHost(new QtPollingHost(session, this)),
      fMessageQueue(new QtMessageQueue(this)) {
    connect(fHost, &QtPollingHost::threadDone, this, &RunController::ThreadDone);
    fRetireDeadline.setSingleShot(true);
    fRetireDeadline.setInterval(kRetireDeadlineMs);
    connect(&fRetireDeadline, &QTimer::timeout, this, &RunController::RetireDeadlinePassed);
}

RunController::~RunController() {
    Close();
}

void RunController::StartTcp(TModbusTCPThread::Parameters parameters) {
    Start([this, parameters](PollingHost& host, RunId run) {
        return std::make_unique<TModbusTCPThread>(host, fStatistics, run, parameters);
    });
}

void RunController::StartRtu(TModbusRTUThread::Parameters parameters) {
    Start([this, parameters](PollingHost& host, RunId run) {
        return std::make_unique<TModbusRTUThread>(host, fStatistics, run, *fMessageQueue,
                                                  parameters);
    });
}

// A start while older runs retire replaces the one already waiting: the newest click wins.
void RunController::Start(PollerFactory make) {
    if (fState == State::Closing) {
        return;
    }
    fPending = std::move(make);
    Retire();
    if (fRuns.empty()) {
        StartPending();
    }
}

void RunController::Retire() {
    if (fRuns.empty() || fState == State::Retiring) {
        return;
    }
    fHost->BeginRun(0);
    fCurrent = nullptr;
    for (const auto& poller : fRuns) {
        poller->Abort();
    }
    fState = State::Retiring;
    fRetireDeadline.start();
}

void RunController::StartPending() {
    fRetireDeadline.stop();
    PollerFactory make = std::move(fPending);
    fPending = nullptr;
    fState = State::Idle;
    if (!make) {
        return;
    }
    const RunId run = ++fRunCounter;
    fHost->BeginRun(run);
    try {
        fRuns.push_back(make(*fHost, run));
    } catch (const std::exception& error) {
        fHost->BeginRun(0);
        emit startFailed(QString::fromStdString(error.what()));
        return;
    }
    fCurrent = fRuns.back().get();
    fState = State::Running;
    emit runStarted();
}

void RunController::RetireDeadlinePassed() {
    if (!fPending) {
        return;
    }
    fPending = nullptr;
    emit startFailed("The previous run could not be ended within 2 s");
}

void RunController::Stop() {
    fPending = nullptr;
    if (fCurrent != nullptr) {
        fCurrent->Stop();
        fCurrent = nullptr;
    }
}

// Every wait of a run wakes on its abort and no poller waits for this thread once closing,
// so the joins end within moments.
void RunController::Close() {
    fState = State::Closing;
    fPending = nullptr;
    fRetireDeadline.stop();
    fHost->SetClosing();
    fCurrent = nullptr;
    for (const auto& poller : fRuns) {
        poller->Abort();
    }
    fRuns.clear();
}

void RunController::ThreadDone(RunId run, bool singleStep) {
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
    if (fState == State::Retiring && fRuns.empty()) {
        StartPending();
    } else if (fState == State::Running && fRuns.empty()) {
        fState = State::Idle;
    }
}

} // namespace kalvo
