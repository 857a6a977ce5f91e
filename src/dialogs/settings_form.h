#pragma once

#include "registers/poll_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace kalvo {

// "Settings": the polling interval and whether a run clears the statistics. Ok stores the
// choices in PollSettings, Cancel (or Esc) brings back those of the moment it was shown, and
// the close button does neither.
class TFormSettings : public QDialog {
    Q_OBJECT

public:
    // Created once, after the configuration has been read: an index outside the list becomes
    // that of the entry selected at creation.
    TFormSettings(PollSettings& settings, QWidget* parent);

    // The poll delay of a list entry in milliseconds; raises std::out_of_range.
    std::int32_t PollingDelayMs(std::int32_t index) const;
    QComboBox* Polling() const { return comboPolling; }
    QCheckBox* StatReset() const { return CheckBoxStatReset; }
    QSpinBox* ReplyTimeout() const { return spinReplyTimeout; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void btnOkClick();
    void btnCancelClick();

    PollSettings& fSettings;
    QComboBox* comboPolling = nullptr;
    QCheckBox* CheckBoxStatReset = nullptr;
    QSpinBox* spinReplyTimeout = nullptr;
    int fOldReplyTimeout = PollSettings::kDefaultReplyTimeoutS;
    int old_pollIndex = 0;
    bool old_resetStatistics = false;
    bool fClosingByButton = false;
};

} // namespace kalvo
