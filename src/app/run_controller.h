#pragma once

#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "acquisition/poller.h"
#include "app/qt_polling_host.h"
#include "registers/comm_statistics.h"
#include "session/module_session.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace kalvo {

class QtMessageQueue;

// The polling runs of one module's session, as explicit states. A start while older runs are
// still alive aborts them and waits, without blocking, until their threads have ended; only
// then does the new run start, so no run overlaps another. Runs that do not end within the
// retire deadline make the start fail. Closing refuses every later start, releases the
// pollers and joins them. What the runs do is told by Events().
class RunController : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Running, Retiring, Closing };
    static constexpr int kRetireDeadlineMs = 2000;
    // Makes the poller of run `run`, reporting to `host`.
    using PollerFactory = std::function<std::unique_ptr<Poller>(PollingHost& host, RunId run)>;

    explicit RunController(ModuleSession& session, QObject* parent = nullptr);
    // Closes.
    ~RunController() override;

    QtPollingHost& Events() const { return *fHost; }
    State CurrentState() const { return fState; }

    void StartTcp(TModbusTCPThread::Parameters parameters);
    // The serial connection is created on this thread, so that its results arrive here.
    void StartRtu(TModbusRTUThread::Parameters parameters);
    // Starts the run `make` makes, now or once the runs still alive have ended.
    void Start(PollerFactory make);
    // Asks the current run to end and drops a start still waiting; does not wait.
    void Stop();
    // From now on every call of a run is refused and nothing starts; aborts every run and
    // joins its thread.
    void Close();

signals:
    // A run has started (what it reads follows nothing read before).
    void runStarted();
    // The current run was a single step and its thread has ended.
    void stepFinished();
    // A start failed: the older runs did not end in time, or the run could not be made.
    void startFailed(const QString& reason);

private:
    void ThreadDone(RunId run, bool singleStep);
    void Retire();
    void StartPending();
    void RetireDeadlinePassed();

    CommStatistics& fStatistics;
    QtPollingHost* fHost;
    QtMessageQueue* fMessageQueue;
    QTimer fRetireDeadline;
    State fState = State::Idle;
    RunId fRunCounter = 0;
    std::vector<std::unique_ptr<Poller>> fRuns;
    Poller* fCurrent = nullptr;
    PollerFactory fPending;
};

} // namespace kalvo
