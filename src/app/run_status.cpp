#include "app/run_status.h"

#include "qt_common/locale_time.h"

namespace kalvo {

void RunStatus::Started() {
    fState = State::Connecting;
    fReads = 0;
    fFailures = 0;
    fLastGood = QTime();
}

void RunStatus::BlockRead(QTime at) {
    fState = fState == State::Connecting ? State::Running : fState;
    ++fReads;
    fLastGood = at;
}

void RunStatus::ReadFailed() {
    ++fFailures;
}

bool RunStatus::Stopped() {
    if (fState != State::Connecting && fState != State::Running) {
        return false;
    }
    fState = State::Stopped;
    return true;
}

void RunStatus::Failed() {
    fState = State::Failed;
}

void RunStatus::StepDone() {
    if (fState == State::Connecting || fState == State::Running) {
        fState = State::StepDone;
    }
}

void RunStatus::RecordingStarted(const QString& file) {
    fFile = file;
    fRows = 0;
}

QString RunStatus::Text() const {
    static const char* const kStates[] = {"",        "Connecting", "Running",
                                          "Stopped", "Failed",     "Step done"};
    QString text = kStates[static_cast<int>(fState)];
    if (fState != State::Idle) {
        text += QString(": %1 %2, %3 failed")
                    .arg(fReads)
                    .arg(fReads == 1 ? "read" : "reads")
                    .arg(fFailures);
        if (fLastGood.isValid()) {
            text += ", last good read " + LongTimeText(fLastGood);
        }
    }
    if (!fFile.isEmpty()) {
        text += QString("%1recording %2, %3 %4")
                    .arg(text.isEmpty() ? QString() : QString("; "), fFile)
                    .arg(fRows)
                    .arg(fRows == 1 ? "row" : "rows");
    }
    if (!fChecks.isEmpty() && fState != State::Idle) {
        text += "; " + fChecks;
    }
    return text;
}

} // namespace kalvo
