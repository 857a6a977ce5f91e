#include "app/config_file.h"
#include "app/main_form.h"
#include "app/window_placement.h"
#include "trend/trend_tab.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <bit>
#include <memory>

using namespace kalvo;

namespace {

const QStringList kPorts = {"ttyS0", "ttyUSB0"};

// Stores a quantity's pattern at `index` the way the module sends it: least significant byte
// first across the registers.
void StorePattern(ModbusRegisters& image, int index, std::uint64_t pattern, int registers) {
    for (int k = 0; k < registers; ++k) {
        const auto part = static_cast<std::uint16_t>(pattern >> (16 * k));
        image[index + k] = static_cast<std::uint16_t>((part << 8) | (part >> 8));
    }
}

} // namespace

// Takes what the program would open in the user's browser.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Opened;

public slots:
    void Open(const QUrl& url) { Opened << url; }
};

class MainFormTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QString IniPath() const { return fDir.filePath("kalvo-client.ini"); }
    std::unique_ptr<TmainForm> NewForm() const {
        return std::make_unique<TmainForm>(
            MainFormEnvironment{IniPath(), [] { return kPorts; }, {}, {}, {}, {}, {}});
    }
    void WriteIni(const std::map<QString, QString>& keys) const {
        QSettings ini(IniPath(), QSettings::IniFormat);
        for (const auto& [key, value] : keys) {
            ini.setValue("Config/" + key, value);
        }
    }
    QVariant Stored(const QString& key) const {
        return QSettings(IniPath(), QSettings::IniFormat).value("Config/" + key);
    }

private slots:
    void init() { QFile::remove(IniPath()); }

    void placementIsClampedToTheWorkArea() {
        const QRect workArea(0, 0, 1920, 1040);
        QCOMPARE(ClampedPlacement(QRect(-3000, 50, 947, 660), workArea).left(), 0);
        QCOMPARE(ClampedPlacement(QRect(5000, 50, 947, 660), workArea).left(), 1920 - 947);
        QCOMPARE(ClampedPlacement(QRect(50, 5000, 947, 660), workArea).top(), 1040 - 660);
        QCOMPARE(ClampedPlacement(QRect(50, 50, 4000, 660), workArea).width(), 1920);
        QCOMPARE(ClampedPlacement(QRect(50, 50, 947, 4000), workArea).height(), 1040);
        QCOMPARE(ClampedPlacement(QRect(100, 80, 947, 660), QRect(200, 30, 1000, 700)),
                 QRect(200, 70, 947, 660));
        for (const char* far : {"2147483647", "-2147483648"}) {
            init();
            WriteIni({{"Top", far}, {"Left", far}, {"Width", far}, {"Heigth", "-5"}});
            auto form = NewForm();
            const QRect area = form->screen()->availableGeometry();
            QVERIFY2(area.contains(form->geometry()), far);
        }
    }

    // Beside the program when it runs from a folder of its own; never in a system folder,
    // even where root could write there.
    void theSettingsStayOutOfSystemFolders() {
        QTemporaryDir portable;
        const QString user = portable.filePath("config");
        QCOMPARE(ConfigFile::PathFor(portable.filePath("kalvo-client"), user),
                 portable.filePath("kalvo-client.ini"));
        QCOMPARE(ConfigFile::PathFor("/usr/bin/kalvo-client", user), user + "/kalvo-client.ini");
        QCOMPARE(ConfigFile::PathFor("/opt/kalvo/kalvo-client", user), user + "/kalvo-client.ini");
    }

    void firstStartWithoutAFileUsesTheDefaultsAndWritesEveryKey() {
        auto form = NewForm();
        const QRect area = form->screen()->availableGeometry();
        QCOMPARE(form->geometry(), ClampedPlacement(QRect(50, 50, 947, 660), area));
        QVERIFY(form->findChild<QRadioButton*>("RadioTCP")->isChecked());
        QVERIFY(!form->findChild<QRadioButton*>("RadioRTU")->isChecked());
        QCOMPARE(form->findChild<QLineEdit*>("TCPHostEdit")->text(), kFactoryTcpAddress);
        QCOMPARE(form->findChild<QLineEdit*>("TCPPortEdit")->text(), "502");
        QCOMPARE(form->findChild<QLineEdit*>("mbRTUaddr")->text(), "1");
        QCOMPARE(form->findChild<QComboBox*>("ComboSerials")->currentIndex(), -1);
        QCOMPARE(form->findChild<QComboBox*>("SpeedBox")->currentText(), "9600");
        QCOMPARE(form->Settings().PollingDelayIndex, 2);
        QVERIFY(!form->Settings().ResetStatistics);
        form->close();
        const QStringList keys = {"Left",
                                  "Top",
                                  "Width",
                                  "Heigth",
                                  "TCPAddress",
                                  "TCPPort",
                                  "UsingTCP",
                                  "ModbusRTUAddress",
                                  "SerialCOM",
                                  "ModbusRTUSpeedIndex",
                                  "PollingDelayIndex",
                                  "ResetStatistics"};
        for (const QString& key : keys) {
            QVERIFY2(Stored(key).isValid(), qPrintable(key));
        }
        QCOMPARE(Stored("UsingTCP").toString(), "1");
        QCOMPARE(Stored("ResetStatistics").toString(), "0");
        QCOMPARE(Stored("SerialCOM").toString(), "");
    }

    void storedValuesAreRestoredAndBadOnesFallBack() {
        WriteIni({{"TCPAddress", "10.0.0.7"},
                  {"TCPPort", "1502"},
                  {"UsingTCP", "0"},
                  {"ModbusRTUAddress", "x7"},
                  {"SerialCOM", "ttyUSB0"},
                  {"ModbusRTUSpeedIndex", "7"},
                  {"PollingDelayIndex", "4"},
                  {"ResetStatistics", "-3"},
                  {"ReplyTimeout", "9000"},
                  {"TrendHistory", "5000"}});
        auto form = NewForm();
        QCOMPARE(form->findChild<QLineEdit*>("TCPHostEdit")->text(), "10.0.0.7");
        QCOMPARE(form->findChild<QLineEdit*>("TCPPortEdit")->text(), "1502");
        QVERIFY(form->findChild<QRadioButton*>("RadioRTU")->isChecked());
        QCOMPARE(form->findChild<QLineEdit*>("mbRTUaddr")->text(), "1");
        QCOMPARE(form->findChild<QComboBox*>("ComboSerials")->currentText(), "ttyUSB0");
        QCOMPARE(form->findChild<QComboBox*>("SpeedBox")->currentIndex(), 2);
        QCOMPARE(form->Settings().PollingDelayIndex, 4);
        QVERIFY(form->Settings().ResetStatistics);
        QCOMPARE(form->Settings().ReplyTimeoutS, 600);
        QCOMPARE(form->Trend()->Capacity(), std::size_t{5000});
    }

    void aStoredPortNotInTheListSelectsNothingAndIsWrittenEmpty() {
        WriteIni({{"SerialCOM", "ttyacm9"}});
        auto form = NewForm();
        auto* ports = form->findChild<QComboBox*>("ComboSerials");
        QCOMPARE(ports->count(), 2);
        QCOMPARE(ports->currentIndex(), -1);
        form->close();
        QCOMPARE(Stored("SerialCOM").toString(), "");
    }

    void anEmptyPortTextKeepsTheStoredPort() {
        WriteIni({{"TCPPort", "1502"}});
        auto form = NewForm();
        form->findChild<QLineEdit*>("TCPPortEdit")->clear();
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("10.1.2.3");
        form->close();
        QCOMPARE(Stored("TCPPort").toString(), "1502");
        QCOMPARE(Stored("TCPAddress").toString(), "10.1.2.3");
    }

    void gridsHoldTheRegisterMapAndEmptyValueColumns() {
        auto form = NewForm();
        const RegisterGrid& inst = *form->Grids()[0];
        const QStringList row1 = {"0.0.1", "0", "integer", "4", "Matricola del contatore",
                                  "",      "",  ""};
        for (int column = 0; column < 8; ++column) {
            QCOMPARE(inst.CellText(0, column), row1[column]);
        }
        const int rows[] = {22, 29, 24, 47};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(form->Grids()[i]->Model()->rowCount(), rows[i]);
        }
        QCOMPARE(inst.Model()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
                 "Read from KALVO-9");
        QCOMPARE(inst.columnWidth(6), inst.columnWidth(5));
        QCOMPARE(inst.rowHeight(0), 16);
        QCOMPARE(form->Grids()[3]->CellText(46, 1), "243");
    }

    void refreshRendersEveryGridFromTheImage() {
        auto form = NewForm();
        ModbusRegisters& image = form->Registers();
        image.Fill();
        image[0] = 0x3930;
        image[1] = 0x0000;
        StorePattern(image, 8, std::bit_cast<std::uint64_t>(12345.678), 4);
        StorePattern(image, 58, std::bit_cast<std::uint32_t>(-120.0f), 2);
        StorePattern(image, 243, 0x00BC614E, 2);
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        form->RefreshDisplay();
        QLocale::setDefault(QLocale::c());
        const RegisterGrid& inst = *form->Grids()[0];
        QCOMPARE(inst.CellText(0, 5), "0x39300000");
        QCOMPARE(inst.CellText(0, 6), "0x00003039");
        QCOMPARE(inst.CellText(0, 7), "12345");
        QCOMPARE(inst.CellText(1, 7), "Unavailable");
        QCOMPARE(inst.CellText(7, 7), "12345,678");
        QCOMPARE(inst.CellText(21, 5), "0xFFFFFFFF");
        QCOMPARE(form->Grids()[1]->CellText(0, 7), "-120");
        QCOMPARE(form->Grids()[3]->CellText(46, 7), "12345678");
    }

    void selectingACellCopiesItsText() {
        auto form = NewForm();
        form->Registers()[0] = 0x3930;
        form->RefreshDisplay();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        RegisterGrid& inst = *form->Grids()[0];
        QGuiApplication::clipboard()->setText("before");
        const QRect cell = inst.visualRect(inst.model()->index(0, 7));
        QTest::mouseClick(inst.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(QGuiApplication::clipboard()->text(), "12345");
        QTest::keyClick(&inst, Qt::Key_Left);
        QCOMPARE(QGuiApplication::clipboard()->text(), "0x00003039");
        QTest::mouseClick(inst.viewport(), Qt::LeftButton, {},
                          inst.visualRect(inst.model()->index(3, 0)).center());
        QCOMPARE(QGuiApplication::clipboard()->text(), "");
    }

    // Without the web view's plugin the window starts and works; the Web tab offers the
    // module's page in the user's browser, and a PDF report says what it needs.
    void withoutTheWebViewThePageOpensInTheBrowser() {
        qputenv("KALVO_WEB_PLUGIN", fDir.filePath("none/kalvo_web_view.so").toLocal8Bit());
        QStringList asked;
        QStringList errors;
        TmainForm form(MainFormEnvironment{
            IniPath(),
            [] { return kPorts; },
            [&errors](QWidget*, const QString& text) { errors << text; },
            {},
            {},
            [&asked](QWidget*, const QString& text) {
                asked << text;
                return true;
            },
            [this](QWidget*, const FileChoice&) { return fDir.filePath("report.pdf"); }});
        UrlCatcher browser;
        QDesktopServices::setUrlHandler("http", &browser, "Open");
        form.findChild<QLineEdit*>("TCPHostEdit")->setText("192.0.2.7");
        form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(7);
        form.findChild<QToolButton*>("ToolButton1")->click();
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains("kalvo-client-web"), qPrintable(asked[0]));
        QCOMPARE(browser.Opened, QList<QUrl>{QUrl("http://192.0.2.7")});
        QVERIFY(form.findChild<QWidget*>("WebBrowser1") == nullptr);

        form.SaveReport();
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains("PDF needs the web view"), qPrintable(errors[0]));
        QVERIFY(!QFile::exists(fDir.filePath("report.pdf")));
        const QList<QAction*> actions = form.findChildren<QAction*>();
        QVERIFY(std::any_of(actions.begin(), actions.end(), [](const QAction* action) {
            return action->text() == "Save report..." && action->isEnabled();
        }));
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
