#pragma once

#include "checks/check_settings.h"

#include <QDialog>
#include <vector>

class QDoubleSpinBox;

namespace kalvo {

// "Check settings": the nominal values and tolerances the module checks judge by. Ok keeps
// them (they apply from the next run), Cancel leaves them as they were.
class CheckSettingsForm : public QDialog {
    Q_OBJECT

public:
    CheckSettingsForm(CheckSettings& settings, QWidget* parent);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CheckSettings& fSettings;
    std::vector<QDoubleSpinBox*> fFields;
};

} // namespace kalvo
