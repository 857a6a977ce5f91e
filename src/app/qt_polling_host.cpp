#include "app/qt_polling_host.h"

#include <QThread>
#include <chrono>
#include <memory>

namespace kalvo {

namespace {

ModuleSession::Clock::time_point Now() {
    return ModuleSession::Clock::now();
}

} // namespace

QtPollingHost::QtPollingHost(ModuleSession& session, QObject* parent)
    : QObject(parent), fSession(session) {}

void QtPollingHost::BeginRun(RunId run) {
    fCurrentRun = run;
    if (run != 0) {
        fSession.Begin(Now(), fPlan);
        emit runBegun();
    }
}

bool QtPollingHost::Closing() const {
    std::lock_guard lock(fMutex);
    return fClosing;
}

void QtPollingHost::SetClosing() {
    {
        std::lock_guard lock(fMutex);
        fClosing = true;
    }
    fHandedOver.notify_all();
}

// A queued call and a wait for it, not a blocking queued connection: closing releases the
// waiting poller, so the host thread can join it without serving it first. The action runs
// only on the host thread and only while not closing, and closing is set on that thread too,
// so an action is never run for a poller that has stopped waiting for it.
void QtPollingHost::Call(RunId run, const std::function<void()>& action) {
    if (QThread::currentThread() == thread()) {
        if (!Closing() && run == fCurrentRun) {
            action();
        }
        return;
    }
    auto done = std::make_shared<bool>(false);
    {
        std::lock_guard lock(fMutex);
        if (fClosing) {
            return;
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, run, &action, done] {
            if (!Closing() && run == fCurrentRun) {
                action();
            }
            {
                std::lock_guard lock(fMutex);
                *done = true;
            }
            fHandedOver.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(fMutex);
    fHandedOver.wait(lock, [this, &done] { return *done || fClosing; });
}

void QtPollingHost::AppendLog(RunId run, const std::string& message) {
    Call(run, [this, &message] {
        fSession.LogLine(message);
        emit logLine(QString::fromStdString(message));
    });
}

void QtPollingHost::FillRegisters(RunId run) {
    Call(run, [this] { fSession.Fill(); });
}

void QtPollingHost::RefreshDisplay(RunId run, RegisterBlock block,
                                   std::span<const std::uint16_t> registers) {
    Call(run, [this, block, registers] {
        const ModuleSession::Clock::time_point time = Now();
        const ModuleSession::Outcome outcome = fSession.BlockRead(block, registers, time);
        emit blockRead(block, std::chrono::duration<double>(time.time_since_epoch()).count(),
                       fSession.Image());
        if (outcome.Reading) {
            emit readingJudged();
        }
        if (!outcome.RecordingStopped.empty()) {
            emit recordingStopped(QString::fromStdString(outcome.RecordingStopped));
        }
    });
}

void QtPollingHost::ReadFailed(RunId run, RegisterBlock block) {
    Call(run, [this, block] {
        fSession.ReadFailed(block, Now());
        emit readFailed(block);
    });
}

void QtPollingHost::UpdateDebugWindow(RunId run) {
    Call(run, [this] { emit statisticsChanged(); });
}

void QtPollingHost::RestoreIdleControls(RunId run) {
    Call(run, [this] { emit idleControlsRequested(); });
}

void QtPollingHost::StopRun(RunId run) {
    Call(run, [this] { emit stopRequested(); });
}

void QtPollingHost::ThreadDone(RunId run, bool singleStep) {
    QMetaObject::invokeMethod(
        this,
        [this, run, singleStep] {
            if (run == fCurrentRun) {
                fSession.End(Now());
            }
            emit threadDone(run, singleStep);
        },
        Qt::QueuedConnection);
}

} // namespace kalvo
