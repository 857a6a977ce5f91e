#pragma once

#include <QString>
#include <QTime>

namespace kalvo {

// What the window says of the current run: its state, the reads and failed reads since it
// started, the time of the last good read and, while recording, the file and its rows.
class RunStatus {
public:
    enum class State { Idle, Connecting, Running, Stopped, Failed, StepDone };

    void Started();
    void BlockRead(QTime at);
    void ReadFailed();
    // The user stopped a run that was still going; false when there was none.
    bool Stopped();
    void Failed();
    void StepDone();
    void RecordingStarted(const QString& file);
    void RowRecorded() { ++fRows; }
    void RecordingEnded() { fFile.clear(); }
    // "14 checks: 12 passed, 2 waiting", or nothing.
    void SetChecks(const QString& summary) { fChecks = summary; }

    State CurrentState() const { return fState; }
    // "Running: 12 reads, 1 failed, last good read 17:21:40; recording run.csv, 12 rows";
    // empty before the first run.
    QString Text() const;

private:
    State fState = State::Idle;
    int fReads = 0;
    int fFailures = 0;
    QTime fLastGood;
    QString fFile;
    QString fChecks;
    int fRows = 0;
};

} // namespace kalvo
