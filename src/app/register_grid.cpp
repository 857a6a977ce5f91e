#include "app/register_grid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace kalvo {

namespace {

constexpr int kColumnPadding = 8;
constexpr int kColumnDescription = 4;

} // namespace

RegisterGrid::RegisterGrid(QWidget* parent)
    : QTableView(parent), fModel(new RegisterTableModel(this)) {
    setModel(fModel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table, as in any other control; the arrows move within it.
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
}

void RegisterGrid::FillRegisterGrid(const RegisterTable& table, const QFont& font) {
    fModel->FillRows(table);
    SizeColumns(font);
}

// Every column shows its whole text: the fixed columns fit their texts, the two hex columns
// the widest register of the table, the value column the longest value its types can give;
// the description takes the room left, and its tooltip shows it whole when it must shrink.
void RegisterGrid::SizeColumns(const QFont& font) {
    const QFontMetrics metrics(font);
    auto fit = [&metrics](const QString& text) {
        return metrics.horizontalAdvance(text) + kColumnPadding;
    };
    int widestBytes = 0;
    QStringList values = {"Unavailable"};
    for (int column = 0; column < kColumnDescription; ++column) {
        int width = fit(fModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        for (int row = 0; row < fModel->rowCount(); ++row) {
            width = std::max(width, fit(fModel->Cell(row, column)));
        }
        setColumnWidth(column, width);
    }
    for (int row = 0; row < fModel->rowCount(); ++row) {
        widestBytes = std::max(widestBytes, fModel->Cell(row, kColumnBytes).toInt());
        values += LongestValues(fModel->Cell(row, kColumnType));
    }
    const QFontMetrics hexMetrics(RegisterTableModel::HexFont(font));
    const int hexWidth =
        hexMetrics.horizontalAdvance("0x" + QString(2 * widestBytes, 'D')) + kColumnPadding;
    for (int column : {kColumnRaw, kColumnBigEndian}) {
        const QString header =
            fModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        setColumnWidth(column, std::max(hexWidth, fit(header)));
    }
    int valueWidth =
        fit(fModel->headerData(kColumnValue, Qt::Horizontal, Qt::DisplayRole).toString());
    for (const QString& value : values) {
        valueWidth = std::max(valueWidth, fit(value));
    }
    setColumnWidth(kColumnValue, valueWidth);
    horizontalHeader()->setSectionResizeMode(kColumnDescription, QHeaderView::Stretch);
}

QStringList RegisterGrid::LongestValues(const QString& type) {
    if (type == "float" || type == "double") {
        return {"-0.0000888888888888888", "-8.88888888888888E-308"};
    }
    if (type == "integer") {
        return {"-2147483648", "4294967295"};
    }
    return {"-32768", "65535"};
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
