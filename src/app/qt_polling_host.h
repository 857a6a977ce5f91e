#pragma once

#include "acquisition/polling_host.h"
#include "registers/modbus_registers.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kalvo {

// The pollers' host on a Qt thread: every call runs on that thread while the poller waits
// (directly when already there), and tells what happened as a signal there. A block read is
// stored in the register image before it is announced, so the image has one thread. Calls of
// a run older than the current one are dropped; once closing, every call returns at once and
// a poller waiting for its call is released.
class QtPollingHost : public QObject, public PollingHost {
    Q_OBJECT

public:
    QtPollingHost(ModbusRegisters& image, QObject* parent);

    // Host thread: from now on only this run is heard (0: none).
    void BeginRun(RunId run) { fCurrentRun = run; }
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
    void blockRead(kalvo::RegisterBlock block, const kalvo::ModbusRegisters& image);
    void readFailed(kalvo::RegisterBlock block);
    void statisticsChanged();
    void idleControlsRequested();
    // The run asks to be stopped, as the Stop button does (its port failed).
    void stopRequested();
    void threadDone(kalvo::RunId run, bool singleStep);

private:
    void Call(RunId run, const std::function<void()>& action);
    bool Closing() const;

    ModbusRegisters& fImage;
    mutable std::mutex fMutex;
    std::condition_variable fHandedOver;
    bool fClosing = false;
    RunId fCurrentRun = 0;
};

} // namespace kalvo
