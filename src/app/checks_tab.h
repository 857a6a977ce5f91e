#pragma once

#include "checks/check_result.h"

#include <QIcon>
#include <QWidget>
#include <array>
#include <map>
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

    // Takes the verdicts; the table shows them now, or when the tab is shown next.
    void Show(const std::vector<CheckResult>& results);
    const std::vector<CheckResult>& Results() const { return fResults; }
    QTableWidget* Table() const { return fTable; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void SetCell(int row, int column, const QString& text);
    void WidenChangedColumns();
    void SetVerdict(int row, Verdict verdict);

    QLabel* fSummary;
    QTableWidget* fTable;
    std::vector<CheckResult> fResults;
    bool fFillWhenShown = false;
    // One per verdict, made once: a style's standard icon is read from its file each time.
    std::array<QIcon, 5> fIcons;
    // The widths the texts set since the last fill want, by column.
    std::map<int, int> fNeededWidths;
};

} // namespace kalvo
