#include "dialogs/about_form.h"

#include "qt_common/app_icon.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QStyle>
#include <QSysInfo>
#include <QUrl>
#include <sys/utsname.h>
#include <unistd.h>

// The picture lives in this static library's resources, which the linker would drop unless
// something refers to them.
static void InitAboutResources() {
    Q_INIT_RESOURCE(resources);
}

namespace kalvo {

const QString TfrmAbout::kAboutText =
    QStringLiteral("KALVO client ver. 1.1\r\nCopyright \u00A9 2026 KALVO developers");
const QString TfrmAbout::kSupportAddress = QStringLiteral("support@kalvo.example");

namespace {

QLabel* PlacedLabel(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    return label;
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    InitAboutResources();
    setObjectName("frmAbout");
    setWindowTitle("About KALVO client");
    setWindowIcon(AppIcon());
    // Its texts stand on a light picture: the box keeps the style's light colours whatever
    // the theme, as the phasor diagram keeps its own.
    setPalette(style()->standardPalette());
    setFixedSize(456, 277);
    setFocusPolicy(Qt::StrongFocus);
    auto* picture = new QLabel(this);
    picture->setObjectName("Image2");
    picture->setGeometry(0, 0, 456, 277);
    picture->setPixmap(QPixmap(":/dialogs/images/about.jpg"));
    picture->setScaledContents(true);
    QLabel* copyright = PlacedLabel(this, "memoCopyright", kAboutText, QRect(261, 13, 195, 36));
    copyright->setAlignment(Qt::AlignCenter);
    // A small face, as on the original design, so that both lines fit their 195 pixels.
    QFont small = copyright->font();
    small.setPointSize(7);
    copyright->setFont(small);
    copyright->setStyleSheet("color: gray; background: white");
    QLabel* url = PlacedLabel(this, "URLLabel", kSupportAddress, QRect(268, 51, 187, 18));
    url->setAlignment(Qt::AlignCenter);
    url->setStyleSheet(
        "color: blue; background: white; font-style: italic; text-decoration: underline");
    url->setCursor(Qt::PointingHandCursor);
    url->setToolTip("Invia email al supporto tecnico");
    url->installEventFilter(this);
    auto* rule = new QFrame(this);
    rule->setObjectName("Bevel1");
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(28, 216, 397, 9);
    PlacedLabel(this, "OS", OperatingSystemText(), QRect(30, 235, 400, 16));
    QLabel* caption =
        PlacedLabel(this, "Label3", "Memoria disponibile a Linux:", QRect(30, 252, 0, 16));
    caption->adjustSize();
    QLabel* memory = PlacedLabel(this, "PhysMem", MemoryText(), QRect(0, 252, 0, 16));
    memory->adjustSize();
    memory->setAlignment(Qt::AlignRight);
    memory->move(std::max(273, caption->geometry().right() + 8 + memory->width()) - memory->width(),
                 252);
}

bool TfrmAbout::ShowAbout(bool, QWidget* parent) {
    TfrmAbout box(parent);
    box.exec();
    return true;
}

QString TfrmAbout::OperatingSystemText() {
    utsname system{};
    uname(&system);
    int major = 0;
    int minor = 0;
    int patch = 0;
    std::sscanf(system.release, "%d.%d.%d", &major, &minor, &patch);
    const QString name = QString::fromLocal8Bit(system.sysname);
    const QString pretty = QSysInfo::prettyProductName();
    if (pretty.isEmpty()) {
        return QString::asprintf("%s %d.%d (Build %d)", qPrintable(name), major, minor, patch);
    }
    return QString::asprintf("%s %d.%d (Build %d: %s)", qPrintable(name), major, minor, patch,
                             qPrintable(pretty));
}

QString TfrmAbout::MemoryText() {
    const long long bytes = static_cast<long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(bytes >> 10) + " KB";
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty() || event->key() == Qt::Key_Escape) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched->objectName() == "URLLabel" && event->type() == QEvent::MouseButtonRelease) {
        URLLabelClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::URLLabelClick() {
    const QString target = "mailto:" + kSupportAddress;
    if (!QDesktopServices::openUrl(QUrl(target))) {
        QMessageBox::information(this, windowTitle(),
                                 "No program could be started to open " + target +
                                     "\r\nSet up a default e-mail program for mailto: links.");
    }
}

} // namespace kalvo
