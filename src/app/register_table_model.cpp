#include "app/register_table_model.h"

#include <QFontDatabase>

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

void RegisterTableModel::SetSheet(RegisterSheet sheet) {
    fSheet = std::move(sheet);
    DynamicColumnsChanged();
}

void RegisterTableModel::ClearDynamicColumns() {
    if (fTable != nullptr) {
        SetSheet(RegisterSheet(*fTable));
    }
}

// Row 0 is the first data row; the sheet's own first row is the header.
QString RegisterTableModel::Cell(int row, int column) const {
    return TextOf(
        fSheet.Rows().at(static_cast<std::size_t>(row) + 1).at(static_cast<std::size_t>(column)));
}

void RegisterTableModel::DynamicColumnsChanged() {
    if (rowCount() > 0) {
        emit dataChanged(index(0, kColumnRaw), index(rowCount() - 1, kColumnValue),
                         {Qt::DisplayRole, Qt::ToolTipRole});
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
