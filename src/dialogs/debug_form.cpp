#include "dialogs/debug_form.h"

#include "qt_common/app_icon.h"
#include "qt_common/locale_time.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kalvo {

namespace {

constexpr int kClientWidth = 315;
constexpr int kClientHeight = 263;

struct FieldSpec {
    const char* Label;
    const char* Name;
};

constexpr std::array<FieldSpec, 11> kFields = {{
    {"Requests", "RequestCount"},
    {"Responses", "RespCount"},
    {"Timeout responses", "RespMBNoResp"},
    {"Unmatched responses", "RespMBUnmatched"},
    {"Invalid responses", "RespMBInvalid"},
    {"Exception responses", "RespMBException"},
    {"Las consec errors", "Edit7"},
    {"Max consec errors", "RespMBErrConsecMax"},
    {"Last request - Time", "RequestLastTime"},
    {"Last valid response - Time", "RespLastTime"},
    {"Last consec. error - Time", "Edit11"},
}};

QDateTime LocalTime(CommStatisticsRecord::Time time) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms);
}

} // namespace

TdebugForm::TdebugForm(CommStatistics& statistics, QWidget* parent)
    : QDialog(parent), fStatistics(statistics) {
    setObjectName("debugForm");
    setWindowTitle("Modbus communication statistics");
    setWindowIcon(AppIcon());
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setVerticalSpacing(2);
    auto* reset = new QPushButton("Reset");
    reset->setObjectName("Button1");
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, &TdebugForm::Button1Click);
    grid->addWidget(reset, 0, 0, Qt::AlignLeft);
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        auto* field = new QLineEdit;
        field->setObjectName(kFields[i].Name);
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        field->setAccessibleName(kFields[i].Label);
        auto* label = new QLabel(kFields[i].Label);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(field);
        grid->addWidget(label, static_cast<int>(i) + 1, 0);
        grid->addWidget(field, static_cast<int>(i) + 1, 1);
        fFields[i] = field;
    }
    // Wide enough for a date and time in the platform's font, never smaller than designed.
    const QString sample = DateTimeText(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 58)));
    const int fieldWidth = fontMetrics().horizontalAdvance(sample) + 16;
    for (QLineEdit* field : fFields) {
        field->setMinimumWidth(fieldWidth);
    }
    setFixedSize(sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
}

QLineEdit* TdebugForm::Field(const QString& label) const {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (label == QLatin1String(kFields[i].Label)) {
            return fFields[i];
        }
    }
    return nullptr;
}

void TdebugForm::UpdateDebugWindow() {
    const CommStatisticsRecord r = fStatistics.Snapshot();
    const QString na = QStringLiteral("N/A");
    const std::array<QString, 11> texts = {
        QString::number(r.Requests),
        QString::number(r.Responses),
        QString::number(r.NoResponses),
        QString::number(r.Unmatched),
        QString::number(r.Invalid),
        QString::number(r.Exceptions),
        QString::number(r.ConsecErrors),
        QString::number(r.MaxConsecErrors),
        r.Requests <= 0 ? na : DateTimeText(LocalTime(r.LastRequestTime)),
        r.Responses <= 0 ? na : DateTimeText(LocalTime(r.LastResponseTime)),
        r.MaxConsecErrors == 0 ? na
                               : LongTimeText(LocalTime(r.MaxRunStart).time()) + " - " +
                                     LongTimeText(LocalTime(r.MaxRunEnd).time()),
    };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        fFields[i]->setText(texts[i]);
    }
}

void TdebugForm::ResetDebugInfo() {
    fStatistics.Reset();
}

void TdebugForm::Button1Click() {
    ResetDebugInfo();
    UpdateDebugWindow();
}

void TdebugForm::showEvent(QShowEvent* event) {
    if (parentWidget() != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(parentWidget()->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace kalvo
