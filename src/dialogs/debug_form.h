#pragma once

#include "registers/comm_statistics.h"

#include <QDialog>
#include <array>

class QLineEdit;

namespace kalvo {

// "Modbus communication statistics": the statistics record in eleven read-only fields, with a
// Reset button. Esc hides it; it opens centred on its parent.
class TdebugForm : public QDialog {
    Q_OBJECT

public:
    TdebugForm(CommStatistics& statistics, QWidget* parent);

    void UpdateDebugWindow();
    void ResetDebugInfo();
    // The field next to a label, for tests and assistive tools.
    QLineEdit* Field(const QString& label) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();

    CommStatistics& fStatistics;
    std::array<QLineEdit*, 11> fFields{};
};

} // namespace kalvo
