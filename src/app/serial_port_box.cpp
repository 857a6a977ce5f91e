#include "app/serial_port_box.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QStylePainter>

namespace kalvo {

SerialPortBox::SerialPortBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
}

QString SerialPortBox::ShortName(const QString& port) {
    return port.mid(port.lastIndexOf('/') + 1);
}

void SerialPortBox::SetPorts(const QStringList& ports) {
    clear();
    addItems(ports);
    int widest = 0;
    for (const QString& port : ports) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(port));
    }
    constexpr int kListPadding = 30;
    view()->setMinimumWidth(widest + kListPadding);
}

void SerialPortBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = ShortName(option.currentText);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace kalvo
