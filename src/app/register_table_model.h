#pragma once

#include "registers/register_map.h"
#include "registers/register_sheet.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QString>
#include <array>

namespace kalvo {

// One register map table as the window shows it: the texts of a RegisterSheet, so that what
// is shown is what is copied and exported, and what kalvo-poll prints.
class RegisterTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RegisterTableModel(QObject* parent = nullptr);

    // The table's rows with nothing read.
    void FillRows(const RegisterTable& table);
    const RegisterSheet& Sheet() const { return fSheet; }
    // A newly rendered sheet of the same table: its value columns change.
    void SetSheet(RegisterSheet sheet);
    // Nothing read: the value columns become empty.
    void ClearDynamicColumns();
    // The values of `block` are from the read at `readAt`, and a later read failed (or the run
    // ended with an error): they are shown greyed, with that time; an empty `readAt` marks
    // them current again.
    void SetStale(RegisterBlock block, const QString& readAt);
    bool Stale(int row) const;
    QString Cell(int row, int column) const;
    // The hex columns are shown in a fixed-pitch font, so their digits line up.
    static QFont HexFont(const QFont& base);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void DynamicColumnsChanged();

    const RegisterTable* fTable = nullptr;
    std::array<QString, kRegisterBlocks.size()> fStaleSince;
    RegisterSheet fSheet{RegisterTable{}};
};

} // namespace kalvo
