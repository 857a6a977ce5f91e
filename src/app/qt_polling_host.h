#pragma once

#include "acquisition/polling_host.h"

#include <QObject>
#include <atomic>
#include <functional>

namespace kalvo {

class RunController;
class TmainForm;

// The main window as seen by a poller. Every call runs on the UI thread while the poller
// waits (directly when already there). Calls of a run older than the current one are
// dropped, and once the window closes every call returns at once.
class QtPollingHost : public QObject, public PollingHost {
    Q_OBJECT

public:
    // A child of `runs`, which hears the end of each run.
    QtPollingHost(TmainForm& form, RunController& runs);

    // UI thread: from now on only this run is heard (0: none).
    void BeginRun(RunId run) { fCurrentRun = run; }
    void SetClosing() { fClosing = true; }

    void AppendLog(RunId run, const std::string& message) override;
    void FillRegisters(RunId run) override;
    void RefreshDisplay(RunId run, RegisterBlock block,
                        std::span<const std::uint16_t> registers) override;
    void ReadFailed(RunId run, RegisterBlock block) override;
    void UpdateDebugWindow(RunId run) override;
    void RestoreIdleControls(RunId run) override;
    void StopRun(RunId run) override;
    void ThreadDone(RunId run, bool singleStep) override;

private:
    void Call(RunId run, const std::function<void()>& action);

    TmainForm& fForm;
    RunController& fRuns;
    std::atomic<bool> fClosing = false;
    RunId fCurrentRun = 0;
};

} // namespace kalvo
