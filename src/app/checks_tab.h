#pragma once

#include "checks/check_result.h"

#include <QWidget>
#include <vector>

class QLabel;
class QTableWidget;

namespace kalvo {

// The "Checks" tab: one row per check of the module's data with its verdict as an icon and a
// word, what it measured and expected, the deviation, the tolerance, what it found and what
// a failure usually means; a summary line above.
class ChecksTab : public QWidget {
    Q_OBJECT

public:
    explicit ChecksTab(QWidget* parent = nullptr);

    void Show(const std::vector<CheckResult>& results);
    const std::vector<CheckResult>& Results() const { return fResults; }
    QTableWidget* Table() const { return fTable; }

private:
    void SetCell(int row, int column, const QString& text);

    QLabel* fSummary;
    QTableWidget* fTable;
    std::vector<CheckResult> fResults;
};

} // namespace kalvo
