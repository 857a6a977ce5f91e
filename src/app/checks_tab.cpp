#include "app/checks_tab.h"

#include "checks/module_checks.h"
#include "checks/verdict_counts.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace kalvo {

namespace {

constexpr std::array<const char*, 8> kColumns = {
    "Check",     "Verdict",   "Measured", "Expected",
    "Deviation", "Tolerance", "Finding",  "What a failure usually means"};
constexpr int kVerdictColumn = 1;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Never colour alone: each verdict has its own symbol beside its word.
QIcon VerdictIcon(const QStyle& style, Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return style.standardIcon(QStyle::SP_DialogApplyButton);
    case Verdict::Warning:
        return style.standardIcon(QStyle::SP_MessageBoxWarning);
    case Verdict::Failed:
        return style.standardIcon(QStyle::SP_MessageBoxCritical);
    case Verdict::Waiting:
        return style.standardIcon(QStyle::SP_BrowserReload);
    case Verdict::NotApplicable:
        return style.standardIcon(QStyle::SP_MessageBoxInformation);
    }
    return {};
}

} // namespace

ChecksTab::ChecksTab(QWidget* parent)
    : QWidget(parent), fSummary(new QLabel),
      fTable(new QTableWidget(0, static_cast<int>(kColumns.size()))) {
    setObjectName("ChecksTab");
    fSummary->setObjectName("ChecksSummary");
    fTable->setObjectName("ChecksTable");
    fTable->setAccessibleName("Checks");
    fTable->setHorizontalHeaderLabels(QStringList(kColumns.begin(), kColumns.end()));
    fTable->verticalHeader()->hide();
    fTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    fTable->setTabKeyNavigation(false);
    fTable->setWordWrap(false);
    fTable->horizontalHeader()->setStretchLastSection(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(fSummary);
    column->addWidget(fTable, 1);
    for (const Verdict verdict : {Verdict::Passed, Verdict::Warning, Verdict::Failed,
                                  Verdict::Waiting, Verdict::NotApplicable}) {
        fIcons[static_cast<std::size_t>(verdict)] = VerdictIcon(*style(), verdict);
    }
    Show(ModuleChecks({}).Results());
}

// A tab nobody sees is filled when it is shown: a Run gives new verdicts at every reading.
void ChecksTab::Show(const std::vector<CheckResult>& results) {
    fResults = results;
    if (!isVisible()) {
        fFillWhenShown = true;
        return;
    }
    Fill();
}

void ChecksTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (fFillWhenShown) {
        fFillWhenShown = false;
        Fill();
    }
}

void ChecksTab::Fill() {
    fSummary->setText(Text(VerdictCounts(fResults).Summary()));
    fTable->setRowCount(static_cast<int>(fResults.size()));
    for (int row = 0; row < static_cast<int>(fResults.size()); ++row) {
        const CheckResult& r = fResults[static_cast<std::size_t>(row)];
        const std::array<std::string, kColumns.size()> cells = {std::string(r.Title()),
                                                                std::string(VerdictText(r.Outcome)),
                                                                r.Measured,
                                                                r.Expected,
                                                                r.Deviation,
                                                                r.Tolerance,
                                                                r.Finding,
                                                                std::string(r.Meaning())};
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            SetCell(row, c, Text(cells[static_cast<std::size_t>(c)]));
        }
        SetVerdict(row, r.Outcome);
    }
    WidenChangedColumns();
}

// Columns grow to fit what they show and do not shrink: fitting every column to its contents
// at every reading laid the whole table out again and repainted it, a Run's texts changing
// in a few cells only.
void ChecksTab::WidenChangedColumns() {
    for (const auto& [column, needed] : fNeededWidths) {
        if (needed > fTable->columnWidth(column)) {
            fTable->resizeColumnToContents(column);
        }
    }
    fNeededWidths.clear();
}

void ChecksTab::SetVerdict(int row, Verdict verdict) {
    QTableWidgetItem& item = *fTable->item(row, kVerdictColumn);
    const int shown = static_cast<int>(verdict);
    if (item.data(Qt::UserRole) != shown) {
        item.setData(Qt::UserRole, shown);
        item.setIcon(fIcons[static_cast<std::size_t>(verdict)]);
    }
}

// An unchanged text is not set again: a live run would otherwise re-lay the table out
// at every reading.
void ChecksTab::SetCell(int row, int column, const QString& text) {
    QTableWidgetItem* item = fTable->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        fTable->setItem(row, column, item);
    }
    if (item->text() != text) {
        item->setText(text);
        item->setToolTip(text);
        // The text and a generous margin (the verdict's icon included): a column found too
        // narrow is measured exactly.
        constexpr int kMargin = 40;
        int& needed = fNeededWidths[column];
        needed = std::max(needed, fTable->fontMetrics().horizontalAdvance(text) + kMargin);
    }
}

} // namespace kalvo
