#include "app/register_grid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace kalvo {

namespace {

constexpr int kMeasuredColumns = 5;
constexpr int kColumnPadding = 10;
constexpr int kHexColumnWidth = 125;
constexpr int kValueColumnWidth = 65;

} // namespace

RegisterGrid::RegisterGrid(QWidget* parent)
    : QTableView(parent), fModel(new RegisterTableModel(this)) {
    setModel(fModel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    // The value column takes the room left, so that long numbers show whole.
    horizontalHeader()->setStretchLastSection(true);
}

void RegisterGrid::FillRegisterGrid(const RegisterTable& table, const QFont& font) {
    fModel->FillRows(table);
    SizeColumns(font);
}

void RegisterGrid::SizeColumns(const QFont& font) {
    const QFontMetrics metrics(font);
    for (int column = 0; column < kMeasuredColumns; ++column) {
        int width = metrics.horizontalAdvance(
            fModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        for (int row = 0; row < fModel->rowCount(); ++row) {
            width = std::max(width, metrics.horizontalAdvance(fModel->Cell(row, column)));
        }
        setColumnWidth(column, width + kColumnPadding);
    }
    // The fixed widths suit a small UI font; a larger one must still show a whole double.
    const int hexWidth =
        std::max(kHexColumnWidth,
                 metrics.horizontalAdvance(QString("0x%1").arg(QString(16, 'D'))) + kColumnPadding);
    setColumnWidth(kColumnRaw, hexWidth);
    setColumnWidth(kColumnBigEndian, hexWidth);
    setColumnWidth(kColumnValue, kValueColumnWidth);
}

void RegisterGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        emit CellSelected(index);
    }
}

void RegisterGrid::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event);
    if (currentIndex().isValid() && currentIndex() != before) {
        emit CellSelected(currentIndex());
    }
}

} // namespace kalvo
