#pragma once

#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "acquisition/poller.h"
#include "registers/comm_statistics.h"

#include <QObject>
#include <memory>
#include <vector>

namespace kalvo {

class QtMessageQueue;
class QtPollingHost;
class TmainForm;

// The window's polling runs: it starts them, stops the current one, hears their end, and
// before a new run or the window's end it cuts short every run still alive and waits until
// their threads are over, so no run overlaps another or outlives the window.
class RunController : public QObject {
    Q_OBJECT

public:
    RunController(TmainForm& form, CommStatistics& statistics);
    ~RunController() override;

    // Each starts a run after retiring the runs still alive.
    void StartTcp(TModbusTCPThread::Parameters parameters);
    void StartRtu(TModbusRTUThread::Parameters parameters);
    // Asks the current run to end; does not wait.
    void Stop();
    // Aborts every run still alive and waits until their threads have ended.
    void RetireRuns();
    // From now on the runs' calls are refused; then every run is retired.
    void Shutdown();
    bool Alive() const { return !fRuns.empty(); }
    // The end of a run's thread, on this thread.
    void PollerThreadDone(RunId run, bool singleStep);

signals:
    void runsFinished();
    // The current run was a single step and its thread has ended.
    void stepFinished();

private:
    RunId BeginRun();

    CommStatistics& fStatistics;
    QtPollingHost* fHost;
    QtMessageQueue* fMessageQueue;
    RunId fRunCounter = 0;
    std::vector<std::unique_ptr<Poller>> fRuns;
    Poller* fCurrent = nullptr;
};

} // namespace kalvo
