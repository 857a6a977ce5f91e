#include "dialogs/check_settings_form.h"

#include "checks/check_setting_field.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QVBoxLayout>
#include <cmath>

namespace kalvo {

namespace {

constexpr double kLargest = 1e6;

} // namespace

CheckSettingsForm::CheckSettingsForm(CheckSettings& settings, QWidget* parent)
    : QDialog(parent), fSettings(settings) {
    setObjectName("CheckSettingsForm");
    setWindowTitle("Check settings");
    auto* form = new QFormLayout;
    for (const CheckSettingField& field : CheckSettingField::All()) {
        auto* box = new QDoubleSpinBox;
        box->setObjectName(QString("Check-") + field.Key);
        box->setDecimals(field.Decimals);
        box->setRange(0, kLargest);
        box->setSingleStep(std::pow(10.0, -field.Decimals));
        box->setSuffix(*field.Unit != '\0' ? QString(" ") + QString::fromUtf8(field.Unit) : "");
        box->setAccessibleName(QString::fromUtf8(field.Label));
        form->addRow(QString::fromUtf8(field.Label), box);
        fFields.push_back(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(buttons);
}

void CheckSettingsForm::showEvent(QShowEvent* event) {
    const auto fields = CheckSettingField::All();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fFields[i]->setValue(fSettings.*fields[i].Field);
    }
    QDialog::showEvent(event);
}

void CheckSettingsForm::accept() {
    const auto fields = CheckSettingField::All();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fSettings.*fields[i].Field = fFields[i]->value();
    }
    QDialog::accept();
}

} // namespace kalvo
