#pragma once

#include "registers/register_map.h"

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

namespace kalvo {

// The working copy of one register map table: five static columns written once, three
// dynamic ones rewritten by every display refresh. What is shown is what is copied and saved.
class RegisterTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using Row = std::array<QString, kRegisterColumnCount>;

    explicit RegisterTableModel(QObject* parent = nullptr);

    void FillRows(std::span<const RegisterDef> table);
    const QString& Cell(int row, int column) const;
    void SetCell(int row, int column, const QString& text);
    // Announces that the dynamic columns of every row changed.
    void DynamicColumnsChanged();
    void ClearDynamicColumns();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Row> fRows;
};

} // namespace kalvo
