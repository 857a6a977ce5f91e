#include "app/main_form.h"
#include "recording/recorded_run.h"
#include "recording/run_record.h"
#include "registers/csv_text.h"
#include "registers/register_map.h"
#include "registers/value_text.h"
#include "trend/trend_columns.h"
#include "trend/trend_measurement.h"
#include "trend/trend_quantity.h"
#include "trend/trend_series.h"
#include "trend/trend_tab.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWheelEvent>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <qcustomplot.h>
#include <set>
#include <sstream>

using namespace kalvo;

class TrendTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir fDir;
    QString fChosen;

    std::unique_ptr<TmainForm> NewForm() {
        return std::make_unique<TmainForm>(
            MainFormEnvironment{fDir.filePath("kalvo-client.ini"),
                                [] { return QStringList(); },
                                [](QWidget*, const QString& text) { QFAIL(qPrintable(text)); },
                                {},
                                [](QWidget*, const QString&) {},
                                [](QWidget*, const QString&) { return true; },
                                [this](QWidget*, const FileChoice&) { return fChosen; }});
    }
    // A Run against kalvo-sim with a fixed image (and `fault`) until `done` says so.
    void RunAgainstTheSimulator(TmainForm& form, const QStringList& fault,
                                const std::function<bool()>& done) {
        RunAgainst(form,
                   QStringList{"--fixed", KALVO_SOURCE_DIR "/tests/e2e/data/fixed_image.txt"} +
                       fault,
                   done);
    }
    // The same against kalvo-sim with `arguments`.
    void RunAgainst(TmainForm& form, const QStringList& arguments,
                    const std::function<bool()>& done) {
        QProcess sim;
        sim.start(KALVO_SIM, QStringList{"--listen", "127.0.0.1:0"} + arguments);
        QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromUtf8(sim.readLine()).section(':', 2).section(' ', 0, 0);
        form.findChild<QLineEdit*>("TCPHostEdit")->setText("127.0.0.1");
        form.findChild<QLineEdit*>("TCPPortEdit")->setText(port);
        form.Settings().PollingDelayIndex = 0;
        form.findChild<QToolButton*>("readContinuous")->click();
        QTRY_VERIFY_WITH_TIMEOUT(done(), 10000);
        form.findChild<QToolButton*>("readStop")->click();
        sim.terminate();
        sim.waitForFinished();
    }

private slots:
    void init() { QFile::remove(fDir.filePath("kalvo-client.ini")); }

    // A view of a day at 200 ms is cut down to a few points per pixel column, and a gap in
    // it stays a gap.
    void decimationKeepsExtremesAndGaps() {
        TrendSeries series;
        const int count = 432'000;
        for (int i = 0; i < count; ++i) {
            const double value = i == count / 2 ? NAN : std::sin(i / 1000.0) + (i == 1234 ? 5 : 0);
            series.Append(1e9 + 0.2 * i, value);
        }
        TrendColumns columns;
        const auto points = columns.Points(series, series.FirstTime(), series.LastTime(), 1280);
        QVERIFY(points.size() <= 4 * 1280 + 4);
        double highest = -1;
        int gaps = 0;
        for (const auto& point : points) {
            gaps += std::isnan(point.Value) ? 1 : 0;
            highest = std::isnan(point.Value) ? highest : std::max(highest, point.Value);
        }
        QCOMPARE(gaps, 1);
        QCOMPARE(highest, std::sin(1.234) + 5);
        double lowest = 0;
        double top = 0;
        QVERIFY(series.Range(series.FirstTime(), series.LastTime(), lowest, top));
        QCOMPARE(top, highest);
    }

    // The cursors and the view's statistics over a hand-made line: squares of 0..9 one second
    // apart, with no reading at 105.
    void measurementsOfAHandMadeLine_data() {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<QList<double>>(
            "expected"); // A, B, delta (NaN: none), count, min, max, mean
        const double none = NAN;
        QTest::newRow("whole view, on samples")
            << 100.0 << 109.0 << 101.0 << 104.0 << QList<double>{1, 16, 15, 9, 0, 81, 260.0 / 9};
        QTest::newRow("between samples: the nearer")
            << 100.0 << 109.0 << 103.4 << 106.6 << QList<double>{9, 49, 40, 9, 0, 81, 260.0 / 9};
        QTest::newRow("in the gap, before the first")
            << 102.5 << 106.0 << 105.0 << 99.0
            << QList<double>{none, none, none, 3, 9, 36, 61.0 / 3};
        QTest::newRow("after the last, edges included")
            << 103.0 << 104.0 << 109.0 << 120.0 << QList<double>{81, none, none, 2, 9, 16, 12.5};
        QTest::newRow("nothing in view")
            << 200.0 << 300.0 << 101.0 << 102.0 << QList<double>{1, 4, 3, 0, 0, 0, 0};
    }
    void measurementsOfAHandMadeLine() {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(QList<double>, expected);
        TrendSeries series;
        for (int i = 0; i < 10; ++i) {
            series.Append(100 + i, i == 5 ? NAN : i * i);
        }
        const TrendMeasurement m = TrendMeasurement::Of(series, from, to, a, b);
        const auto same = [](std::optional<double> got, double wanted) {
            return std::isnan(wanted) ? !got.has_value() : got == wanted;
        };
        QVERIFY(same(m.AtA, expected[0]));
        QVERIFY(same(m.AtB, expected[1]));
        QVERIFY(same(m.Delta, expected[2]));
        QCOMPARE(m.View.Count, static_cast<std::size_t>(expected[3]));
        QCOMPARE(m.View.Lowest, expected[4]);
        QCOMPARE(m.View.Highest, expected[5]);
        QCOMPARE(m.View.Mean, expected[6]);
    }

    // Over a long line the statistics come from the block summaries and the samples at the
    // edges: the same as counting every sample.
    void viewStatisticsOfALongLine() {
        TrendSeries series;
        for (int i = 0; i < 10'000; ++i) {
            series.Append(i, i % 97 == 0 ? NAN : i);
        }
        double sum = 0;
        std::size_t count = 0;
        for (int i = 13; i <= 9'001; ++i) {
            sum += i % 97 == 0 ? 0 : i;
            count += i % 97 == 0 ? 0 : 1;
        }
        const TrendSeries::Statistics view = series.Over(13, 9'001);
        QCOMPARE(view.Count, count);
        QCOMPARE(view.Lowest, 13.0);
        QCOMPARE(view.Highest, 9'001.0);
        QCOMPARE(view.Mean, sum / static_cast<double>(count));
    }

    // A value goes through the trend as the tables show it, whatever its type: a double
    // totaliser, a 32-bit one, a float; each with its unit.
    void csvCellsEqualTheTableTexts() {
        struct Case {
            Quantity quantity;
            double value;
            QString unit;
        };
        const Case cases[] = {{Quantity::ActiveEnergyImport, 1234567.891, "kWh"},
                              {Quantity::ReactiveEnergyQ1, 12345678.9, "kvarh"},
                              {Quantity::ActiveEnergyImportInt32, 2139095038, "kWh"},
                              {Quantity::VoltageL1, 230.1, "V"},
                              {Quantity::Frequency, 50.01, "Hz"}};
        ModbusRegisters image;
        image.Fill();
        std::vector<int> selection;
        for (const Case& c : cases) {
            image.Put(c.quantity, c.value);
            selection.push_back(RegisterOf(c.quantity).Index);
            QCOMPARE(TrendQuantity::At(selection.back()).Unit(), c.unit);
        }
        TrendTab trend;
        trend.SetSelection(selection);
        const double now = QDateTime::currentSecsSinceEpoch();
        trend.AddBlock(now - 1, RegisterBlock::A, image);
        trend.AddBlock(now, RegisterBlock::B, image);
        trend.Chart()->FitAll();
        const QList<QByteArray> lines =
            QByteArray::fromStdString(trend.Csv(TrendTab::CsvSpan::View)).split('\n');
        QCOMPARE(lines.size(), 4);
        const QByteArray rows = lines[1] + lines[2];
        for (const Case& c : cases) {
            const RegisterDef& row = RegisterOf(c.quantity);
            const std::string text = RegisterValueText(image, row.Decoder, row.Index, ".");
            QVERIFY2(rows.contains(("," + text).c_str()), text.c_str());
        }
        QVERIFY(rows.contains(",1234567.891"));
    }

    // Each successful read adds a point to the ticked quantities of its block; a failed one
    // adds a gap, never a value.
    void aRunAddsPointsAndFailedReadsGaps() {
        auto form = NewForm();
        const int voltageL1 = RegisterOf(Quantity::VoltageL1).Index;
        const int channel1 = RegisterOf(Quantity::Profile1Channel1).Index;
        form->Trend()->SetSelection({voltageL1, channel1});
        const TrendSeries* voltage = form->Trend()->History(voltageL1);
        const TrendSeries* profile = form->Trend()->History(channel1);
        RunAgainstTheSimulator(*form, {"--exception", "2:b"},
                               [&] { return voltage->Size() >= 3 && profile->Size() >= 3; });
        QVERIFY(voltage->Size() >= 3);
        for (std::size_t i = 0; i < voltage->Size(); ++i) {
            QCOMPARE(voltage->ValueAt(i), static_cast<double>(230.1f));
        }
        QVERIFY(profile->Size() >= 3);
        for (std::size_t i = 0; i < profile->Size(); ++i) {
            QVERIFY(std::isnan(profile->ValueAt(i)));
        }
        form->findChild<QTabWidget*>("PageControl1")->setCurrentWidget(form->Trend());
        QVERIFY(form->Trend()->Chart()->CursorText(voltage->LastTime()).contains("229.1") ||
                form->Trend()->Chart()->CursorText(voltage->LastTime()).contains("230.1"));
    }

    // Two runs in a row are not joined: the second starts with a break.
    void runsAreNotJoined() {
        auto form = NewForm();
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        form->Trend()->SetSelection({voltage});
        const TrendSeries* series = form->Trend()->History(voltage);
        RunAgainstTheSimulator(*form, {}, [&] { return series->Size() >= 2; });
        const std::size_t first = series->Size();
        for (std::size_t i = 0; i < first; ++i) {
            QVERIFY(!std::isnan(series->ValueAt(i)));
        }
        RunAgainstTheSimulator(*form, {}, [&] { return series->Size() >= first + 3; });
        QVERIFY(std::isnan(series->ValueAt(first)));
        QVERIFY(!std::isnan(series->ValueAt(first + 1)));
    }

    // The ticked set, each quantity's colour, its limits and the picture size survive a
    // restart.
    void theTickedSetSurvivesARestart() {
        QColor frequency;
        {
            auto form = NewForm();
            form->Trend()->SetSelection({177});
            form->Trend()->SetSelection({50, 177});
            frequency = form->Trend()->Colours().ColourOf(50);
            form->Trend()->SetLimits({{50, {49.5, 50.5}}, {177, {std::nullopt, -0.25}}});
            form->Trend()->SetPictureSize({1000, 500});
            form->close();
        }
        auto again = NewForm();
        QCOMPARE(again->Trend()->Selection(), (std::vector<int>{50, 177}));
        QCOMPARE(again->Trend()->Colours().ColourOf(50), frequency);
        const std::map<int, TrendLimit>& limits = again->Trend()->Limits();
        QCOMPARE(limits.at(50).Lower, 49.5);
        QCOMPARE(limits.at(50).Upper, 50.5);
        QVERIFY(!limits.at(177).Lower);
        QCOMPARE(limits.at(177).Upper, -0.25);
        QCOMPARE(again->Trend()->Chart()->Lines()[0].Limit.Upper, 50.5);
        QCOMPARE(again->Trend()->PictureSize(), QSize(1000, 500));
    }

    // A failed read and the start of a run each break the lines; the read-out shows only
    // where samples were read: not before the first, not after the newest, not in a break.
    void theTrendShowsOnlyWhatWasRead() {
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        TrendTab trend;
        trend.SetAsk([](QWidget*, const QString&) { return true; });
        trend.SetSelection({voltage});
        ModbusRegisters image;
        image.Fill();
        image.Put(Quantity::VoltageL1, 230.5);
        const double t0 = QDateTime::currentSecsSinceEpoch();
        trend.AddBlock(t0, RegisterBlock::A, image);
        trend.AddBlock(t0 + 1, RegisterBlock::A, image);
        trend.AddGap(t0 + 2, RegisterBlock::A);
        trend.AddBlock(t0 + 3, RegisterBlock::A, image);
        trend.AddBreak(t0 + 4);
        trend.AddBlock(t0 + 60, RegisterBlock::A, image);
        const TrendSeries& series = *trend.History(voltage);
        QCOMPARE(series.Size(), std::size_t{6});
        QVERIFY(std::isnan(series.ValueAt(2)) && std::isnan(series.ValueAt(4)));
        const TrendChart& chart = *trend.Chart();
        struct Case {
            double time;
            bool shown;
        };
        const Case cases[] = {{t0 - 5, false},   {t0, true},       {t0 + 0.4, true},
                              {t0 + 2.5, false}, {t0 + 30, false}, {t0 + 60, true},
                              {t0 + 61, false}};
        for (const Case& c : cases) {
            QCOMPARE(chart.CursorText(c.time, 0.1).isEmpty(), !c.shown);
        }
        QVERIFY(chart.CursorText(t0 + 0.4, 0.1).contains("230.5 V"));
    }

    // Behind another tab the chart does not redraw for new readings; shown, it draws them all;
    // readings that come in one pass of the event loop make one redraw.
    void aChartRedrawsOncePerPassAndNotWhileHidden() {
        QTabWidget pages;
        auto* trend = new TrendTab;
        pages.addTab(new QWidget, "Phasors");
        pages.addTab(trend, "Trend");
        pages.resize(900, 500);
        pages.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pages));
        trend->SetSelection({RegisterOf(Quantity::VoltageL1).Index});
        ModbusRegisters image;
        image.Fill();
        image.Put(Quantity::VoltageL1, 230);
        const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
        for (int i = 0; i < 5; ++i) {
            trend->AddBlock(now - 5 + i, RegisterBlock::A, image);
        }
        QCPGraph& line = *trend->Chart()->Plot()->graph(0);
        QCOMPARE(line.dataCount(), 0);
        pages.setCurrentWidget(trend);
        QCOMPARE(line.dataCount(), 5);
        QSignalSpy redraws(trend->Chart(), &TrendChart::measurementsChanged);
        trend->AddBlock(now, RegisterBlock::A, image);
        trend->AddBlock(now + 0.5, RegisterBlock::A, image);
        QCOMPARE(redraws.count(), 0);
        QTRY_COMPARE(redraws.count(), 1);
        QCOMPARE(line.dataCount(), 7);
    }

    // A line without a unit titles its axis by its name; the wheel over a value axis zooms
    // it, and it keeps the user's range through new readings until Fit all.
    void valueAxesAreTitledAndZoomable() {
        TrendTab trend;
        trend.resize(900, 500);
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        trend.SetSelection(
            {RegisterOf(Quantity::VoltageL1).Index, RegisterOf(Quantity::MeanPowerFactor).Index});
        ModbusRegisters image;
        image.Fill();
        const double t0 = 1e9;
        for (int i = 0; i < 5; ++i) {
            image.Put(Quantity::VoltageL1, 230 + i);
            image.Put(Quantity::MeanPowerFactor, 0.9);
            trend.AddBlock(t0 + i, RegisterBlock::A, image);
        }
        TrendChart& chart = *trend.Chart();
        chart.FitAll();
        QCustomPlot& plot = *chart.Plot();
        plot.replot();
        // In map order the power factor comes first and takes the left axis.
        QCOMPARE(plot.yAxis->label(), QString("13.7.0 Cosfi medio"));
        QCOMPARE(plot.yAxis2->label(), QString("V"));
        const QCPRange before = plot.yAxis2->range();
        const QPointF onAxis(plot.axisRect()->right() + 10, plot.axisRect()->center().y());
        QWheelEvent wheel(onAxis, plot.mapToGlobal(onAxis), {}, {0, 120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &wheel);
        const QCPRange zoomed = plot.yAxis2->range();
        QVERIFY(zoomed.size() < before.size() * 0.8);
        trend.AddBlock(t0 + 5, RegisterBlock::A, image);
        QCOMPARE(plot.yAxis2->range(), zoomed);
        chart.FitAll();
        QVERIFY(plot.yAxis2->range().size() > zoomed.size());
    }

    // The list is worked from the keyboard: Space ticks the current quantity.
    void spaceTicksAQuantity() {
        TrendTab trend;
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        auto* list = trend.findChild<QTreeWidget*>("TrendQuantities");
        list->setFocus();
        QTreeWidgetItem* powerFactor = nullptr;
        for (QTreeWidgetItemIterator it(list); *it != nullptr; ++it) {
            if ((*it)->data(0, Qt::UserRole).toInt() ==
                RegisterOf(Quantity::MeanPowerFactor).Index) {
                powerFactor = *it;
            }
        }
        QVERIFY(powerFactor != nullptr);
        list->setCurrentItem(powerFactor);
        QTest::keyClick(list, Qt::Key_Space);
        const std::vector<int> ticked = trend.Selection();
        QVERIFY(std::find(ticked.begin(), ticked.end(),
                          RegisterOf(Quantity::MeanPowerFactor).Index) != ticked.end());
    }

    // Every quantity ticked: one normalised axis instead of an axis per unit, and a legend
    // that scrolls, so the plot keeps its room; up to four units keep their own axes.
    void manyQuantitiesKeepThePlot() {
        TrendTab trend;
        trend.resize(947, 420);
        trend.show();
        std::vector<int> all;
        for (const TrendQuantity& quantity : TrendQuantity::All()) {
            all.push_back(quantity.Index());
        }
        QCustomPlot& plot = *trend.Chart()->Plot();
        const auto valueAxes = [&plot] {
            int shown = 0;
            for (QCPAxis* axis : plot.axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight)) {
                shown += axis->visible() ? 1 : 0;
            }
            return shown;
        };
        trend.SetSelection(all);
        QCoreApplication::processEvents();
        plot.replot();
        QCOMPARE(valueAxes(), 1);
        QVERIFY2(plot.axisRect()->height() >= 150,
                 qPrintable(QString::number(plot.axisRect()->height())));
        trend.SetSelection(
            {RegisterOf(Quantity::VoltageL1).Index, RegisterOf(Quantity::CurrentL1).Index,
             RegisterOf(Quantity::Frequency).Index, RegisterOf(Quantity::ActivePowerTotal).Index});
        QCOMPARE(valueAxes(), 4);
    }

    // The tab's measurement tools: a click places cursor A, Shift+click cursor B, both on a
    // reading; Shift+arrows move the last one by a reading; a limit typed into the table is
    // kept, drawn, and marks an extreme beyond it.
    void cursorsAndLimitsInTheTab() {
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        TrendTab trend;
        trend.resize(1000, 700);
        trend.show();
        trend.SetSelection({voltage});
        ModbusRegisters image;
        image.Fill();
        const double t0 = 1e9;
        for (int i = 0; i < 10; ++i) {
            image.Put(Quantity::VoltageL1, 230 + i);
            trend.AddBlock(t0 + i, RegisterBlock::A, image);
        }
        TrendChart& chart = *trend.Chart();
        chart.SetRange(t0 - 1, t0 + 10);
        trend.findChild<QToolButton*>("TrendMeasure")->click();
        QCustomPlot& plot = *chart.Plot();
        plot.replot();
        const auto pixel = [&plot](double time) {
            return QPoint(static_cast<int>(plot.xAxis->coordToPixel(time)),
                          plot.axisRect()->center().y());
        };
        QTest::mouseClick(&plot, Qt::LeftButton, {}, pixel(t0 + 2.2));
        QTest::mouseClick(&plot, Qt::LeftButton, Qt::ShiftModifier, pixel(t0 + 6.9));
        QCOMPARE(chart.Cursor(TrendChart::CursorA), t0 + 2);
        QCOMPARE(chart.Cursor(TrendChart::CursorB), t0 + 7);
        chart.setFocus();
        QTest::keyClick(&chart, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(chart.Cursor(TrendChart::CursorB), t0 + 8);
        auto* table = trend.findChild<QTableWidget*>("TrendMeasurements");
        const auto cells = [table] {
            QStringList texts;
            for (int column = 1; column < table->columnCount(); ++column) {
                texts << table->item(0, column)->text();
            }
            return texts;
        };
        QCOMPARE(cells(), (QStringList{"232", "238", "6", "230", "239", "234.5", "", ""}));
        QVERIFY(trend.findChild<QLabel*>("TrendDeltaTime")->text().endsWith("B - A = 6.000 s"));
        const int items = plot.itemCount();
        table->item(0, 8)->setText("236.5");
        QCOMPARE(trend.Limits().at(voltage).Upper, 236.5);
        QCOMPARE(plot.itemCount(), items + 1);
        QCOMPARE(table->item(0, 5)->foreground().color(), QColor(Qt::red));
        QVERIFY(table->item(0, 4)->data(Qt::ForegroundRole).isNull());
        table->item(0, 7)->setText("volts");
        QVERIFY(!trend.Limits().at(voltage).Lower);
        QCOMPARE(table->item(0, 7)->text(), "");
        QTest::keyClick(&chart, Qt::Key_Delete);
        QVERIFY(!chart.Cursor(TrendChart::CursorA) && !chart.Cursor(TrendChart::CursorB));
        QCOMPARE(cells().mid(0, 3), (QStringList{"", "", ""}));
    }

    // A history at its cap drops its oldest samples first and still summarises what it keeps
    // rightly; the cap shows in the tab.
    void theHistoryHasACap() {
        TrendSeries series;
        series.SetCapacity(1000);
        const int count = 5000;
        for (int i = 0; i < count; ++i) {
            series.Append(i, i == 4500 ? 99.0 : std::sin(i / 10.0));
        }
        QVERIFY(series.Size() >= 1000 && series.Size() <= 1000 + 32);
        QCOMPARE(series.LastTime(), count - 1.0);
        QCOMPARE(series.FirstTime(), static_cast<double>(count - series.Size()));
        double lowest = 0;
        double highest = 0;
        QVERIFY(series.Range(series.FirstTime(), series.LastTime(), lowest, highest));
        QCOMPARE(highest, 99.0);
        double expected = 1;
        for (std::size_t k = 0; k < series.Size(); ++k) {
            expected = std::min(expected, series.ValueAt(k));
        }
        QCOMPARE(lowest, expected);
        TrendTab trend;
        trend.SetCapacity(5000);
        QVERIFY(trend.findChild<QLabel*>("TrendCapacity")->text().contains("5"));
    }

    // A quantity keeps its colour when others are ticked or unticked; ten shown lines have
    // ten colours.
    void coloursStayWithTheirQuantities() {
        TrendTab trend;
        std::vector<int> shown = {RegisterOf(Quantity::VoltageL2).Index};
        trend.SetSelection(shown);
        const QColor l2 = trend.Colours().ColourOf(shown[0]);
        shown.insert(shown.begin(), RegisterOf(Quantity::VoltageL1).Index);
        trend.SetSelection(shown);
        QCOMPARE(trend.Colours().ColourOf(shown[1]), l2);
        std::vector<int> ten;
        for (int q = 0; q < 10; ++q) {
            ten.push_back(RegisterMapRows()[static_cast<std::size_t>(17 + q)].Index);
        }
        trend.SetSelection(ten);
        std::set<QRgb> colours;
        for (const int index : ten) {
            colours.insert(trend.Colours().ColourOf(index).rgb());
        }
        QCOMPARE(colours.size(), std::size_t{10});
    }

    // Clear asks first; once it may, it forgets everything and follows the present again.
    void clearAsksFirst() {
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        TrendTab trend;
        bool answer = false;
        trend.SetAsk([&answer](QWidget*, const QString&) { return answer; });
        trend.SetSelection({voltage});
        ModbusRegisters image;
        image.Fill();
        trend.AddBlock(1e9, RegisterBlock::A, image);
        trend.Chart()->FitAll();
        trend.findChild<QToolButton*>("TrendClear")->click();
        QCOMPARE(trend.History(voltage)->Size(), std::size_t{1});
        answer = true;
        trend.findChild<QToolButton*>("TrendClear")->click();
        QCOMPARE(trend.History(voltage)->Size(), std::size_t{0});
        QVERIFY(trend.Chart()->Following());
        QVERIFY(trend.Chart()->To() > QDateTime::currentSecsSinceEpoch() - 5);
    }

    // Tick labels differ at a narrow range: a totaliser near 12346.9 moving by a thousandth,
    // and a frequency moving by a ten-thousandth.
    void tickLabelsDifferAtNarrowRanges() {
        struct Case {
            Quantity quantity;
            double base;
            double spread;
        };
        const Case cases[] = {{Quantity::ActiveEnergyImport, 12346.9, 0.001},
                              {Quantity::Frequency, 50.1365, 0.0001},
                              {Quantity::VoltageL1, 230, 0.5}};
        for (const Case& c : cases) {
            TrendTab trend;
            trend.resize(900, 500);
            const int index = RegisterOf(c.quantity).Index;
            trend.SetSelection({index});
            ModbusRegisters image;
            image.Fill();
            for (int k = 0; k <= 10; ++k) {
                image.Put(c.quantity, c.base + c.spread * k / 10);
                trend.AddBlock(1e9 + k, RegisterOf(c.quantity).Block, image);
            }
            trend.Chart()->FitAll();
            QCustomPlot& plot = *trend.Chart()->Plot();
            plot.replot(QCustomPlot::rpImmediateRefresh);
            const QCPAxis& axis = *plot.graph(0)->valueAxis();
            const QVector<QString> labels = axis.tickVectorLabels();
            QVERIFY(labels.size() >= 3);
            QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
            // An axis of one line takes its colour.
            QCOMPARE(axis.tickLabelColor(), trend.Colours().ColourOf(index));
        }
    }

    // The read-out goes when the pointer leaves the chart.
    void theReadOutGoesWithThePointer() {
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        TrendTab trend;
        trend.resize(900, 500);
        trend.SetSelection({voltage});
        ModbusRegisters image;
        image.Fill();
        image.Put(Quantity::VoltageL1, 230.5);
        const double now = QDateTime::currentSecsSinceEpoch();
        for (int k = 0; k < 5; ++k) {
            trend.AddBlock(now - 4 + k, RegisterBlock::A, image);
        }
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        trend.Chart()->FitAll();
        QCustomPlot& plot = *trend.Chart()->Plot();
        const int x = static_cast<int>(plot.xAxis->coordToPixel(now - 2));
        QTest::mouseMove(&plot, QPoint(x, plot.axisRect()->center().y()));
        QTRY_VERIFY(trend.Chart()->ShownReadOut().contains("230.5"));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&plot, &leave);
        QCOMPARE(trend.Chart()->ShownReadOut(), QString());
    }

    // Save current tab writes the chart as a picture of its size, and its samples as CSV.
    void savesThePictureAndTheData() {
        auto form = NewForm();
        form->resize(1200, 800);
        form->show();
        RunAgainstTheSimulator(*form, {}, [&form] {
            const TrendSeries* voltage =
                form->Trend()->History(RegisterOf(Quantity::VoltageL1).Index);
            return voltage != nullptr && voltage->Size() >= 3;
        });
        auto* pages = form->findChild<QTabWidget*>("PageControl1");
        pages->setCurrentWidget(form->Trend());
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        // Only the newest reading in view: the whole history is saved all the same.
        const TrendSeries& voltage = *form->Trend()->History(RegisterOf(Quantity::VoltageL1).Index);
        form->Trend()->Chart()->SetRange(voltage.LastTime() - 0.01, voltage.LastTime() + 0.01);
        fChosen = fDir.filePath("trend");
        form->findChild<QToolButton*>("SpeedButton5")->click();
        const QImage picture(fDir.filePath("trend.png"));
        QCOMPARE(picture.size(), QSize(1600, 900));
        QFile csv(fDir.filePath("trend.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines[0].startsWith("Time,"));
        QVERIFY(lines[0].contains("\"32.7.0 Valore RMS della tensione di fase R [V]\""));
        QVERIFY(lines.size() >= 1 + 3);
        QVERIFY(lines[1].contains(",230.100006103516,"));
    }

    // Readings of a recording far more than the usual interval apart are not joined.
    void aPauseInARecordingIsABreak() {
        const RunRecord record(".");
        ModbusRegisters image;
        image.Fill();
        image.Put(Quantity::VoltageL1, 230);
        std::string text = CsvLine(RunRecord::Header());
        for (const int millis : {0, 200, 400, 10'000, 10'200}) {
            const std::chrono::system_clock::time_point at{std::chrono::seconds(1'000'000'000) +
                                                           std::chrono::milliseconds(millis)};
            text += CsvLine(record.Row(at, RegisterBlock::A, image));
        }
        TrendTab trend;
        const int voltage = RegisterOf(Quantity::VoltageL1).Index;
        trend.SetSelection({voltage});
        std::istringstream input(text);
        trend.LoadRecording(RecordedRun::Read(input, trend.TickedQuantities()));
        const TrendSeries& series = *trend.History(voltage);
        QCOMPARE(series.Size(), std::size_t{6});
        QVERIFY(std::isnan(series.ValueAt(3)));
        QCOMPARE(series.ValueAt(5), 230.0);
    }

    // A recording of a Run, loaded back, gives the points the live trend drew of that Run.
    void aRecordingLoadsBackAsTheLiveTrend() {
        auto form = NewForm();
        const std::vector<int> ticked = form->Trend()->Selection();
        fChosen = fDir.filePath("run.csv");
        auto* record = form->findChild<QToolButton*>("readRecord");
        record->click();
        const TrendSeries& live = *form->Trend()->History(RegisterOf(Quantity::VoltageL1).Index);
        RunAgainst(*form, {}, [&live] { return live.Size() >= 6; });
        record->click();
        TrendTab loaded;
        loaded.SetSelection(ticked);
        std::ifstream file(fChosen.toStdString());
        loaded.LoadRecording(RecordedRun::Read(file, loaded.TickedQuantities()));
        for (const int index : ticked) {
            const TrendSeries& mine = *form->Trend()->History(index);
            const TrendSeries& back = *loaded.History(index);
            // A pause the machine took between two reads may be drawn as a break; the points
            // are the same.
            const auto points = [](const TrendSeries& series) {
                std::vector<std::pair<double, double>> drawn;
                for (std::size_t i = 0; i < series.Size(); ++i) {
                    if (!std::isnan(series.ValueAt(i))) {
                        drawn.emplace_back(series.TimeAt(i), series.ValueAt(i));
                    }
                }
                return drawn;
            };
            const auto drawn = points(mine);
            const auto again = points(back);
            QVERIFY(drawn.size() >= 3);
            QCOMPARE(again.size(), drawn.size());
            for (std::size_t i = 0; i < drawn.size(); ++i) {
                QVERIFY(std::abs(again[i].first - drawn[i].first) < 0.001);
                QVERIFY(std::abs(again[i].second - drawn[i].second) <=
                        1e-12 * std::abs(drawn[i].second));
            }
        }
    }
};

QTEST_MAIN(TrendTest)
#include "trend_test.moc"
