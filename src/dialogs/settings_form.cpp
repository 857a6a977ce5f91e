#include "dialogs/settings_form.h"

#include "qt_common/app_icon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <stdexcept>

namespace kalvo {

namespace {

constexpr int kInitialIndex = 2;

} // namespace

TFormSettings::TFormSettings(PollSettings& settings, QWidget* parent)
    : QDialog(parent), fSettings(settings) {
    setObjectName("FormSettings");
    setWindowTitle("Settings");
    setWindowIcon(AppIcon());
    setFixedSize(303, 178);
    auto* group = new QGroupBox("Communication polling interval ", this);
    group->setObjectName("RadioGroup1");
    // Wide enough for its caption in the platform's font.
    const int groupWidth =
        std::max(185, group->fontMetrics().horizontalAdvance(group->title()) + 24);
    group->setGeometry(8, 10, groupWidth, 60);
    auto* label = new QLabel("milliseconds", this);
    label->setObjectName("Label1");
    label->setGeometry(25, 39, 90, 17);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    comboPolling = new QComboBox(this);
    comboPolling->setAccessibleName("Polling interval");
    comboPolling->setObjectName("comboPolling");
    comboPolling->setAccessibleName("Communication polling interval");
    for (std::int32_t delay : PollSettings::kPollingDelaysMs) {
        comboPolling->addItem(QString::number(delay));
    }
    comboPolling->setCurrentIndex(kInitialIndex);
    comboPolling->setGeometry(120, 35, 66, 22);
    auto* stayOnTop = new QCheckBox("Stay on Top", this);
    stayOnTop->setObjectName("CheckBoxStayOnTop");
    stayOnTop->setGeometry(13, 103, 97, 17);
    stayOnTop->hide();
    CheckBoxStatReset = new QCheckBox("Reset statistics at communication startup", this);
    CheckBoxStatReset->setObjectName("CheckBoxStatReset");
    CheckBoxStatReset->setGeometry(13, 80, 285, 17);
    auto* timeoutLabel = new QLabel("Modbus/TCP reply time-out", this);
    timeoutLabel->setObjectName("LabelReplyTimeout");
    timeoutLabel->setGeometry(13, 108, 180, 17);
    spinReplyTimeout = new QSpinBox(this);
    spinReplyTimeout->setObjectName("spinReplyTimeout");
    spinReplyTimeout->setAccessibleName(timeoutLabel->text());
    spinReplyTimeout->setRange(1, PollSettings::kLongestReplyTimeoutS);
    spinReplyTimeout->setSuffix(" s");
    spinReplyTimeout->setGeometry(200, 105, 70, 22);
    timeoutLabel->setBuddy(spinReplyTimeout);
    auto* ok = new QPushButton("&Ok", this);
    ok->setObjectName("btnOk");
    ok->setGeometry(139, 143, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("btnCancel");
    cancel->setGeometry(220, 143, 75, 25);
    connect(ok, &QPushButton::clicked, this, &TFormSettings::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &TFormSettings::reject);
    setTabOrder(comboPolling, ok);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, CheckBoxStatReset);
    setTabOrder(CheckBoxStatReset, spinReplyTimeout);
    FormCreate();
}

void TFormSettings::FormCreate() {
    const std::int32_t index = fSettings.PollingDelayIndex;
    if (index >= 0 && index < comboPolling->count()) {
        comboPolling->setCurrentIndex(index);
    }
    fSettings.PollingDelayIndex = comboPolling->currentIndex();
    CheckBoxStatReset->setChecked(fSettings.ResetStatistics);
    spinReplyTimeout->setValue(fSettings.ReplyTimeoutS);
    fSettings.ReplyTimeoutS = spinReplyTimeout->value();
}

std::int32_t TFormSettings::PollingDelayMs(std::int32_t index) const {
    if (index < 0 || index >= comboPolling->count()) {
        throw std::out_of_range("polling interval index " + std::to_string(index));
    }
    return comboPolling->itemText(index).toInt();
}

void TFormSettings::showEvent(QShowEvent* event) {
    old_pollIndex = comboPolling->currentIndex();
    old_resetStatistics = CheckBoxStatReset->isChecked();
    fOldReplyTimeout = spinReplyTimeout->value();
    if (parentWidget() != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(parentWidget()->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void TFormSettings::btnOkClick() {
    fSettings.PollingDelayIndex = comboPolling->currentIndex();
    fSettings.ResetStatistics = CheckBoxStatReset->isChecked();
    fSettings.ReplyTimeoutS = spinReplyTimeout->value();
    accept();
}

void TFormSettings::btnCancelClick() {
    comboPolling->setCurrentIndex(old_pollIndex);
    CheckBoxStatReset->setChecked(old_resetStatistics);
    spinReplyTimeout->setValue(fOldReplyTimeout);
}

// Esc and Cancel restore the shown choices; the close button leaves them as they are.
void TFormSettings::reject() {
    if (!fClosingByButton) {
        btnCancelClick();
    }
    QDialog::reject();
}

void TFormSettings::closeEvent(QCloseEvent* event) {
    fClosingByButton = true;
    QDialog::closeEvent(event);
    fClosingByButton = false;
}

} // namespace kalvo
