#include "app/register_table_model.h"

#include <QFontDatabase>
#include <QPalette>
#include <utility>

namespace kalvo {

namespace {

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

RegisterTableModel::RegisterTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RegisterTableModel::FillRows(const RegisterTable& table) {
    beginResetModel();
    fTable = &table;
    fSheet = RegisterSheet(table);
    endResetModel();
}

// A view repaints all it shows for a change to a range of cells, so each changed cell is
// announced on its own: during a Run most of the table stays as it was.
void RegisterTableModel::SetSheet(RegisterSheet sheet) {
    const RegisterSheet before = std::exchange(fSheet, std::move(sheet));
    const auto& rows = fSheet.Rows();
    if (before.Rows().size() != rows.size()) {
        DynamicColumnsChanged();
        return;
    }
    for (std::size_t row = 1; row < rows.size(); ++row) {
        for (int column = kColumnRaw; column <= kColumnValue; ++column) {
            const auto cell = static_cast<std::size_t>(column);
            if (before.Rows()[row][cell] != rows[row][cell]) {
                const QModelIndex changed = index(static_cast<int>(row) - 1, column);
                emit dataChanged(changed, changed,
                                 {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole});
            }
        }
    }
}

void RegisterTableModel::ClearDynamicColumns() {
    fStaleSince.fill(QString());
    if (fTable != nullptr) {
        SetSheet(RegisterSheet(*fTable));
    }
}

void RegisterTableModel::SetStale(RegisterBlock block, const QString& readAt) {
    QString& since = fStaleSince[static_cast<std::size_t>(block)];
    if (since != readAt) {
        since = readAt;
        DynamicColumnsChanged();
    }
}

bool RegisterTableModel::Stale(int row) const {
    return fTable != nullptr &&
           !fStaleSince[static_cast<std::size_t>(fTable->Rows[static_cast<std::size_t>(row)].Block)]
                .isEmpty();
}

// Row 0 is the first data row; the sheet's own first row is the header.
QString RegisterTableModel::Cell(int row, int column) const {
    return TextOf(
        fSheet.Rows().at(static_cast<std::size_t>(row) + 1).at(static_cast<std::size_t>(column)));
}

void RegisterTableModel::DynamicColumnsChanged() {
    if (rowCount() > 0) {
        emit dataChanged(index(0, kColumnRaw), index(rowCount() - 1, kColumnValue),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole});
    }
}

int RegisterTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fSheet.Rows().size()) - 1;
}

int RegisterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRegisterColumnCount;
}

QFont RegisterTableModel::HexFont(const QFont& base) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(base.pointSizeF());
    return font;
}

QVariant RegisterTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::FontRole) {
        const bool hex = index.column() == kColumnRaw || index.column() == kColumnBigEndian;
        return hex ? QVariant(HexFont(QFont())) : QVariant();
    }
    const bool dynamic = index.column() >= kColumnRaw && index.column() <= kColumnValue;
    const bool stale = dynamic && Stale(index.row());
    if (role == Qt::ForegroundRole) {
        return stale ? QVariant(QPalette().brush(QPalette::Disabled, QPalette::Text)) : QVariant();
    }
    if (role == Qt::ToolTipRole && stale) {
        const RegisterBlock block = fTable->Rows[static_cast<std::size_t>(index.row())].Block;
        return Cell(index.row(), index.column()) + "\nStale: read at " +
               fStaleSince[static_cast<std::size_t>(block)] + ", later reads failed";
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    return Cell(index.row(), index.column());
}

QVariant RegisterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kRegisterColumnCount) {
        return {};
    }
    return TextOf(kRegisterGridHeaders.at(static_cast<std::size_t>(section)));
}

} // namespace kalvo
