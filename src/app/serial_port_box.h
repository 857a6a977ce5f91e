#pragma once

#include <QComboBox>

namespace kalvo {

// The serial port list. Ports are kept by their whole name (a path, for virtual ports), and
// the open list shows it; the closed box shows the part that tells ports apart, the last
// component of the path, and its tooltip the whole name.
class SerialPortBox : public QComboBox {
    Q_OBJECT

public:
    explicit SerialPortBox(QWidget* parent = nullptr);

    // The last component of a port's path: "kalvo-sim" for ".../kalvo-serial/kalvo-sim".
    static QString ShortName(const QString& port);
    void SetPorts(const QStringList& ports);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kalvo
