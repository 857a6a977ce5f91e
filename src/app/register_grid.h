#pragma once

#include "app/register_table_model.h"

#include <QTableView>

namespace kalvo {

// A register table view: fixed 16-pixel rows, no row header, one cell selected at a time.
// It reports cells the user selects by mouse or keyboard, not cells Qt makes current on its
// own (on focus, say), so the clipboard only changes when the user asks.
class RegisterGrid : public QTableView {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 16;

    explicit RegisterGrid(QWidget* parent = nullptr);

    RegisterTableModel* Model() const { return fModel; }
    // Fills the table and sizes the columns to the texts, measured with `font`.
    void FillRegisterGrid(const RegisterTable& table, const QFont& font);
    // Text of a data cell (row 0 is the first data row).
    QString CellText(int row, int column) const { return fModel->Cell(row, column); }

signals:
    void CellSelected(const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SizeColumns(const QFont& font);
    // The longest value texts a register of `type` can show.
    static QStringList LongestValues(const QString& type);

    RegisterTableModel* fModel;
};

} // namespace kalvo
