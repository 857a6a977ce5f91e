#pragma once

#include "acquisition/polling_host.h"
#include "registers/modbus_registers.h"
#include "session/module_session.h"
#include "session/session_plan.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kalvo {

// The pollers' host on a Qt thread: every call runs on that thread while the poller waits
// (directly when already there), goes to the module's session there and tells what happened
// as a signal. A block read is in the session before it is announced, so the session is fed
// from one thread. Calls of a run older than the current one are dropped; once closing, every
// call returns at once and a poller waiting for its call is released.
class QtPollingHost : public QObject, public PollingHost {
    Q_OBJECT

public:
    QtPollingHost(ModuleSession& session, QObject* parent);

    // Host thread: from now on only this run is heard (0: none); a run begins the session
    // afresh, whether or not it gets as far as a read.
    void BeginRun(RunId run);
    // Host thread: what the next run to begin keeps.
    void SetPlan(SessionPlan plan) { fPlan = std::move(plan); }
    // Host thread: refuses every call from now on and releases the pollers waiting for one.
    void SetClosing();

    void AppendLog(RunId run, const std::string& message) override;
    void FillRegisters(RunId run) override;
    void RefreshDisplay(RunId run, RegisterBlock block,
                        std::span<const std::uint16_t> registers) override;
    void ReadFailed(RunId run, RegisterBlock block) override;
    void UpdateDebugWindow(RunId run) override;
    void RestoreIdleControls(RunId run) override;
    void StopRun(RunId run) override;
    void ThreadDone(RunId run, bool singleStep) override;

signals:
    void logLine(const QString& message);
    // A run has begun: the session is afresh.
    void runBegun();
    // `time`: seconds since the epoch, the time the session keeps for the read.
    void blockRead(kalvo::RegisterBlock block, double time, const kalvo::ModbusRegisters& image);
    // Both blocks of a cycle are in and the checks have judged them.
    void readingJudged();
    // The recording could not write a row and has stopped.
    void recordingStopped(const QString& failure);
    void readFailed(kalvo::RegisterBlock block);
    void statisticsChanged();
    void idleControlsRequested();
    // The run asks to be stopped, as the Stop button does (its port failed).
    void stopRequested();
    void threadDone(kalvo::RunId run, bool singleStep);

private:
    void Call(RunId run, const std::function<void()>& action);
    bool Closing() const;

    ModuleSession& fSession;
    SessionPlan fPlan;
    mutable std::mutex fMutex;
    std::condition_variable fHandedOver;
    bool fClosing = false;
    RunId fCurrentRun = 0;
};

} // namespace kalvo
