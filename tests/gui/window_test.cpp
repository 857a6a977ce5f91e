// The main window as a user meets it, on a 1920 x 1080 screen: sizes, keys, messages, names.
#include "app/main_form.h"
#include "app/serial_port_box.h"
#include "dialogs/about_form.h"
#include "dialogs/debug_form.h"
#include "dialogs/settings_form.h"
#include "phasor/polar_diagram.h"
#include "registers/register_map.h"
#include "scripted_modbus_server.h"
#include "trend/trend_tab.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <memory>
#include <numeric>
#include <qcustomplot.h>

using namespace kalvo;

namespace {

// The widgets of the top panel a user sees, each once (the panels' own frames excluded).
QList<QWidget*> VisibleControls(QWidget* panel) {
    QList<QWidget*> controls;
    for (QWidget* widget : panel->findChildren<QWidget*>()) {
        const bool container = qobject_cast<QGroupBox*>(widget) != nullptr ||
                               widget->findChildren<QWidget*>().size() > 0;
        if (widget->isVisible() && !container) {
            controls.append(widget);
        }
    }
    return controls;
}

QRect InPanel(QWidget* widget, QWidget* panel) {
    return QRect(widget->mapTo(panel, QPoint(0, 0)), widget->size());
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QStringList fPorts = {"ttyS0"};
    QStringList fErrors;
    QStringList fWarnings;
    std::array<std::uint16_t, 251> fImage{};

    std::unique_ptr<TmainForm> NewForm(const QString& configPath = QString()) {
        return std::make_unique<TmainForm>(MainFormEnvironment{
            configPath.isEmpty() ? fDir.filePath("kalvo-client.ini") : configPath,
            [this] { return fPorts; },
            [this](QWidget*, const QString& text) { fErrors.append(text); },
            [this](QWidget*, const QString& text) { fWarnings.append(text); },
            [](QWidget*, const QString&) {},
            [](QWidget*, const QString&) { return false; },
            {}});
    }
    // Every float and double of the map with a value whose text is as long as they get.
    static void LongValues(ModbusRegisters& image) {
        image.Fill();
        for (const RegisterDef& def : RegisterMapRows()) {
            if (def.Decoder == ValueType::Float) {
                image.Put(def.Id, -0.000123456789f);
            } else if (def.Decoder == ValueType::Double) {
                image.Put(def.Id, -1.23456789012345e-300);
            }
        }
    }

private slots:
    void init() {
        fPorts = {"ttyS0"};
        fErrors.clear();
        fWarnings.clear();
        QFile::remove(fDir.filePath("kalvo-client.ini"));
    }

    // At every size the window allows, no control of the top panel covers another or is cut;
    // at the default size and larger, every column of every grid shows its whole text.
    void nothingOverlapsAndEveryValueShows() {
        auto form = NewForm();
        const QSize sizes[] = {form->minimumSize(), QSize(947, 660), QSize(1400, 900)};
        QVERIFY(form->minimumWidth() >= TmainForm::kMinimumWidth);
        LongValues(form->Registers());
        form->RefreshDisplay();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* panel = form->findChild<QWidget*>("Panel2");
        for (const QSize& size : sizes) {
            form->resize(size);
            QTRY_COMPARE(form->size(), size);
            QCoreApplication::processEvents();
            const QList<QWidget*> controls = VisibleControls(panel);
            for (int i = 0; i < controls.size(); ++i) {
                const QRect a = InPanel(controls[i], panel);
                QVERIFY2(panel->rect().contains(a), qPrintable(controls[i]->objectName()));
                if (auto* label = qobject_cast<QLabel*>(controls[i])) {
                    QVERIFY2(a.width() >= label->sizeHint().width(), qPrintable(label->text()));
                }
                for (int j = i + 1; j < controls.size(); ++j) {
                    QVERIFY2(!a.intersects(InPanel(controls[j], panel)),
                             qPrintable(QString("%1 x %2 at %3x%4")
                                            .arg(controls[i]->metaObject()->className(),
                                                 controls[j]->metaObject()->className())
                                            .arg(size.width())
                                            .arg(size.height())));
                }
            }
            if (size.width() < 947) {
                continue;
            }
            for (RegisterGrid* grid : form->Grids()) {
                form->findChild<QTabWidget*>("PageControl1")->setCurrentWidget(grid);
                QCoreApplication::processEvents();
                QVERIFY(grid->horizontalHeader()->length() <= grid->viewport()->width());
                for (int row = 0; row < grid->Model()->rowCount(); ++row) {
                    for (int column = 0; column < kRegisterColumnCount; ++column) {
                        const QModelIndex index = grid->Model()->index(row, column);
                        const QFont font = index.data(Qt::FontRole).isValid()
                                               ? index.data(Qt::FontRole).value<QFont>()
                                               : grid->font();
                        const int needed =
                            QFontMetrics(font).horizontalAdvance(index.data().toString()) + 6;
                        QVERIFY2(grid->columnWidth(column) >= needed,
                                 qPrintable(QString("%1 row %2 column %3 at %4 px: %5 (%6 < %7)")
                                                .arg(grid->objectName())
                                                .arg(row)
                                                .arg(column)
                                                .arg(size.width())
                                                .arg(index.data().toString())
                                                .arg(grid->columnWidth(column))
                                                .arg(needed)));
                        QCOMPARE(index.data(Qt::ToolTipRole), index.data());
                    }
                }
            }
        }
    }

    // At every size from the minimum up the phasor keeps its value table and info panel
    // beside the diagram and the trend a plot worth the name; the log's height, set by the
    // user, comes back with the window.
    void smallSizesKeepThePhasorValuesAndTheTrendPlot() {
        {
            auto form = NewForm();
            const QSize sizes[] = {form->minimumSize(), QSize(947, 500), QSize(947, 660),
                                   QSize(1920, 1050)};
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            auto* pages = form->findChild<QTabWidget*>("PageControl1");
            auto* diagram = form->findChild<TPolarDiagram*>();
            TrendChart* chart = form->Trend()->Chart();
            for (const QSize& size : sizes) {
                form->resize(size.expandedTo(form->minimumSize()));
                QCoreApplication::processEvents();
                pages->setCurrentWidget(diagram->parentWidget());
                diagram->repaint();
                // Below a radius of 120 px the scale's legend runs into the value table.
                QVERIFY2(diagram->Scene().Large() && diagram->Scene().m_max_volt_radius >= 120,
                         qPrintable(QString("%1x%2").arg(size.width()).arg(size.height())));
                pages->setCurrentWidget(form->Trend());
                QCoreApplication::processEvents();
                chart->Plot()->replot();
                QVERIFY2(chart->Plot()->axisRect()->height() >= 100,
                         qPrintable(QString::number(chart->Plot()->axisRect()->height())));
            }
            auto* splitter = form->findChild<QSplitter*>("LogSplitter");
            splitter->setSizes({splitter->height() - 200, 200});
            QCOMPARE(form->findChild<QWidget*>("Panel1")->height(), 200);
            form->close();
        }
        auto again = NewForm();
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QCOMPARE(again->findChild<QWidget*>("Panel1")->height(), 200);
    }

    // The closed list names a port by what tells it apart; the open list and the tooltip
    // give the whole path, which is also what a run opens.
    void serialPortsShowTheirNames() {
        const QString link = fDir.filePath("kalvo-serial/kalvo-sim");
        fPorts = {"ttyS0", link};
        auto form = NewForm();
        auto* ports = form->findChild<SerialPortBox*>("ComboSerials");
        ports->setCurrentIndex(1);
        QCOMPARE(SerialPortBox::ShortName(ports->currentText()), "kalvo-sim");
        QCOMPARE(SerialPortBox::ShortName("ttyS0"), "ttyS0");
        QCOMPARE(ports->currentText(), link);
        QCOMPARE(ports->toolTip(), link);
        QVERIFY(ports->view()->minimumWidth() > ports->fontMetrics().horizontalAdvance(link));
    }

    void everyRescanAfterStartUpThatFindsNoPortWarns() {
        auto form = NewForm();
        fPorts.clear();
        for (int rescan = 1; rescan <= 2; ++rescan) {
            form->findChild<QToolButton*>("SpeedButton1")->click();
            QCOMPARE(fWarnings.size(), rescan);
        }
        // The scan at start-up is silent.
        auto empty = NewForm();
        QCOMPARE(fWarnings.size(), 2);
    }

    void keysStartStepRunStopSaveAndQuit() {
        test::ScriptedModbusServer server(test::ScriptedModbusServer::Serving(fImage));
        auto form = NewForm();
        form->findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form->findChild<QLineEdit*>("TCPPortEdit")->setText(QString::number(server.Port()));
        form->Settings().PollingDelayIndex = 0;
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        std::map<QString, QString> keys;
        for (QAction* action : form->findChildren<QAction*>()) {
            keys[action->text()] = action->shortcut().toString();
            if (!action->shortcut().isEmpty() && action->text() != "&Exit") {
                QVERIFY(action->toolTip().contains(action->shortcut().toString()));
            }
        }
        QCOMPARE(keys["Step"], "F6");
        QCOMPARE(keys["Run"], "F5");
        QCOMPARE(keys["Stop communication"], "Shift+F5");
        QCOMPARE(keys["Save current tab"], "Ctrl+S");
        QCOMPARE(keys["&Exit"], "Ctrl+Q");
        QTest::keyClick(form.get(), Qt::Key_F5);
        QTRY_VERIFY(server.Requests().size() >= 2);
        QTest::keyClick(form.get(), Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(form->findChild<QToolButton*>("readStep")->isEnabled());
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!form->isVisible());
    }

    void controlsAndWindowsHaveNamesAndIcons() {
        auto form = NewForm();
        const char* named[] = {"GridInst",        "GridPhase",        "GridLP",
                               "Grid32",          "ComboSerials",     "SpeedBox",
                               "PanelModbusKind", "PanelTCPSettings", "PanelRTUSettings"};
        for (const char* name : named) {
            QVERIFY2(!form->findChild<QWidget*>(name)->accessibleName().isEmpty(), name);
        }
        QCOMPARE(form->findChild<QWidget*>("GridLP")->accessibleName(), "Load profile (64 bits)");
        QVERIFY(!form->SettingsForm()->Polling()->accessibleName().isEmpty());
        TfrmAbout about(form.get());
        for (QWidget* window : std::initializer_list<QWidget*>{form.get(), form->DebugForm(),
                                                               form->SettingsForm(), &about}) {
            QVERIFY2(!window->windowIcon().isNull(), qPrintable(window->windowTitle()));
        }
    }

    // On a dark theme the link and the command icons take the theme's colours, and the icons
    // have pictures for two device pixels per point.
    void colorsFollowTheThemeAndIconsScale() {
        auto form = NewForm();
        auto* link = form->findChild<QLabel*>("LabelZorbelLink");
        QCOMPARE(link->foregroundRole(), QPalette::Link);
        QVERIFY(link->styleSheet().isEmpty());
        const QIcon step = form->findChild<QToolButton*>("readStep")->icon();
        QCOMPARE(step.pixmap(QSize(24, 24), 2.0).size(), QSize(48, 48));
        const QImage picture = step.pixmap(QSize(24, 24), 1.0).toImage();
        QCOMPARE(QColor(picture.pixel(8, 12)).rgb(),
                 form->palette().color(QPalette::ButtonText).rgb());
    }

    // The diagram's value table reaches a screen reader as text.
    void thePhasorsValuesAreItsAccessibleText() {
        auto form = NewForm();
        ModbusRegisters& image = form->Registers();
        image.Fill();
        image.Put(Quantity::VoltageL1, 230.5);
        image.Put(Quantity::CurrentL1, 9.25);
        image.Put(Quantity::CurrentAngleL1, 25.0);
        form->RefreshDisplay();
        const QString text = form->PolarDiagram()->accessibleDescription();
        QVERIFY2(text.contains("L1: voltage 230.50 V"), qPrintable(text));
        QVERIFY(text.contains("current 9.25 A, phi 25.00"));
        QVERIFY(text.contains("Timestamp: "));
    }

    // A configuration file that cannot be written is reported with its path and the reason.
    void settingsThatCannotBeSavedAreReported() {
        const QString blocked = fDir.filePath("blocked.ini");
        QVERIFY(QDir().mkpath(blocked));
        auto form = NewForm(blocked);
        form->close();
        QCOMPARE(fErrors.size(), 1);
        QVERIFY2(fErrors[0].startsWith("Error saving the settings\r\n" + blocked + ": "),
                 qPrintable(fErrors[0]));
    }

    // Enter on the overwrite question keeps the old file.
    void theOverwriteQuestionDefaultsToNo() {
        QWidget parent;
        parent.setWindowTitle("test");
        QTimer::singleShot(100, [] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(!MainFormEnvironment::System().AskYesNo(&parent, "Overwrite existing file?"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
