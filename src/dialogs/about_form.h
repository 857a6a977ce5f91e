#pragma once

#include <QDialog>
#include <QString>

namespace kalvo {

// The about box: name, version and copyright over our picture, the operating system, the
// physical memory and a support e-mail link. Any character key closes it.
class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    static const QString kAboutText;
    static const QString kSupportAddress;

    explicit TfrmAbout(QWidget* parent);

    // Shows a new box modally and destroys it; `timedClose` has no effect.
    static bool ShowAbout(bool timedClose, QWidget* parent);
    // "Linux 6.1 (Build 0: Debian GNU/Linux 12 (bookworm))".
    static QString OperatingSystemText();
    // Total physical memory in whole KB, grouped by the locale, then " KB".
    static QString MemoryText();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void URLLabelClick();
};

} // namespace kalvo
