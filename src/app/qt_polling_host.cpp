#include "app/qt_polling_host.h"

#include "app/main_form.h"
#include "app/run_controller.h"

#include <QThread>

namespace kalvo {

QtPollingHost::QtPollingHost(TmainForm& form, RunController& runs)
    : QObject(&runs), fForm(form), fRuns(runs) {}

void QtPollingHost::Call(RunId run, const std::function<void()>& action) {
    if (fClosing) {
        return;
    }
    auto guarded = [this, run, &action] {
        if (!fClosing && run == fCurrentRun) {
            action();
        }
    };
    // A blocking queued call from the receiver's own thread would deadlock.
    if (QThread::currentThread() == thread()) {
        guarded();
    } else {
        QMetaObject::invokeMethod(this, guarded, Qt::BlockingQueuedConnection);
    }
}

void QtPollingHost::AppendLog(RunId run, const std::string& message) {
    Call(run, [this, &message] { fForm.AppendLog(QString::fromStdString(message)); });
}

void QtPollingHost::FillRegisters(RunId run) {
    Call(run, [this] { fForm.Registers().Fill(); });
}

void QtPollingHost::RefreshDisplay(RunId run, RegisterBlock block,
                                   std::span<const std::uint16_t> registers) {
    Call(run, [this, block, registers] {
        fForm.Registers().Store(SpanOf(block).First, registers);
        fForm.RefreshDisplay();
        fForm.BlockRead(block);
    });
}

void QtPollingHost::ReadFailed(RunId run, RegisterBlock block) {
    Call(run, [this, block] { fForm.BlockFailed(block); });
}

void QtPollingHost::UpdateDebugWindow(RunId run) {
    Call(run, [this] { fForm.UpdateVisibleDebugWindow(); });
}

void QtPollingHost::RestoreIdleControls(RunId run) {
    Call(run, [this] { fForm.RestoreIdleControls(); });
}

void QtPollingHost::StopRun(RunId run) {
    Call(run, [this] { fForm.readStopClick(); });
}

void QtPollingHost::ThreadDone(RunId run, bool singleStep) {
    QMetaObject::invokeMethod(
        this, [this, run, singleStep] { fRuns.PollerThreadDone(run, singleStep); },
        Qt::QueuedConnection);
}

} // namespace kalvo
