#include "app/register_table_model.h"

namespace kalvo {

namespace {

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

RegisterTableModel::RegisterTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RegisterTableModel::FillRows(std::span<const RegisterDef> table) {
    beginResetModel();
    fRows.clear();
    for (const RegisterDef& def : table) {
        fRows.push_back({TextOf(def.OBIS), TextOf(def.Addr), TextOf(def.Type), TextOf(def.Bytes),
                         TextOf(def.Description)});
    }
    endResetModel();
}

const QString& RegisterTableModel::Cell(int row, int column) const {
    return fRows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

void RegisterTableModel::SetCell(int row, int column, const QString& text) {
    fRows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column)) = text;
}

void RegisterTableModel::DynamicColumnsChanged() {
    if (!fRows.empty()) {
        emit dataChanged(index(0, kColumnRaw), index(rowCount() - 1, kColumnValue),
                         {Qt::DisplayRole});
    }
}

void RegisterTableModel::ClearDynamicColumns() {
    for (Row& row : fRows) {
        for (int column = kColumnRaw; column <= kColumnValue; ++column) {
            row.at(static_cast<std::size_t>(column)).clear();
        }
    }
    DynamicColumnsChanged();
}

int RegisterTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fRows.size());
}

int RegisterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRegisterColumnCount;
}

QVariant RegisterTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
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
