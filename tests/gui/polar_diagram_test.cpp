#include "app/main_form.h"
#include "phasor/polar_diagram.h"
#include "phasor/polar_diagram_painter.h"
#include "qt_common/locale_time.h"

#include <QCursor>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>

using namespace kalvo;

namespace {

constexpr double kThird = 2.0943951023931957;

// Counts the pixels in a rectangle of the image that pass `test`; text is antialiased, so
// its colour shows in the strong pixels only.
template <typename Test> int CountPixels(const QImage& image, const QRect& area, Test test) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel(image.pixel(x, y));
            count += test(pixel.red(), pixel.green(), pixel.blue()) ? 1 : 0;
        }
    }
    return count;
}

bool Reddish(int r, int g, int b) {
    return r > 200 && g < 120 && b < 120;
}

bool Dark(int r, int g, int b) {
    return r < 150 && g < 150 && b < 150 && std::abs(r - g) < 30 && std::abs(r - b) < 30;
}

} // namespace

class PolarDiagramTest : public QObject {
    Q_OBJECT

private:
    ModbusRegisters fRegisters;
    std::unique_ptr<QWidget> fPanel;
    TPolarDiagram* fDiagram = nullptr;

    void Init(TPolarDiagram& d) {
        d.SetVoltage(P_L1, "L1", "VL1", 0, 0, 1, Qt::SolidLine);
        d.SetVoltage(P_L2, "L2", "VL2", 0, kThird, 1, Qt::SolidLine);
        d.SetVoltage(P_L3, "L3", "VL3", 0, 2 * kThird, 1, Qt::SolidLine);
        d.SetCurrent(P_L1, "L1", "CL1", 0, 0, 1, Qt::DotLine);
        d.SetCurrent(P_L2, "L2", "CL2", 0, 0, 1, Qt::DotLine);
        d.SetCurrent(P_L3, "L3", "CL3", 0, 0, 1, Qt::DotLine);
    }
    void Feed(TPolarDiagram& d) {
        d.SetVoltage(P_L1, 230, 0);
        d.SetVoltage(P_L2, 231, kThird);
        d.SetVoltage(P_L3, 229, 2 * kThird);
        d.SetCurrent(P_L1, 10, 0.4);
        d.SetCurrent(P_L2, 8, -0.3);
        d.SetCurrent(P_L3, 12, 0.6);
        d.SetFrequency(49.98);
        d.SetInstantPower(5.4);
        d.SetAvailableData(true, true, true, true, true, true);
    }
    const QImage& Paint(QSize size = QSize(930, 500)) {
        fPanel->resize(size);
        fPanel->show();
        if (!QTest::qWaitForWindowExposed(fPanel.get())) {
            qWarning("panel not exposed");
        }
        fDiagram->repaint();
        return fDiagram->Image();
    }

private slots:
    void init() {
        fRegisters = ModbusRegisters();
        fPanel = std::make_unique<QWidget>();
        fDiagram = new TPolarDiagram(fPanel.get(), fRegisters);
        Init(*fDiagram);
    }
    void cleanup() { fPanel.reset(); }

    void layoutFollowsTheSmallerSide() {
        PolarScene scene;
        scene.ComputeLayout(QSize(930, 500));
        QCOMPARE(scene.m_border, 41);
        QCOMPARE(scene.m_diag_rect.Left, 41);
        QCOMPARE(scene.m_diag_rect.Right, 459);
        QCOMPARE(scene.m_diag_rect.Bottom, 459);
        QCOMPARE(scene.m_max_volt_radius, 209);
        QCOMPARE(scene.m_max_curr_radius, 167);
        QCOMPARE(scene.m_center, QPoint(250, 250));
        scene.ComputeLayout(QSize(400, 260));
        QVERIFY(scene.Large());
        QCOMPARE(scene.m_max_volt_radius, 109);
        scene.ComputeLayout(QSize(240, 600));
        QVERIFY(!scene.Large());
        QCOMPARE(scene.m_max_volt_radius, 100);
    }

    void largestMagnitudesReachTheirCircles() {
        Feed(*fDiagram);
        PolarScene scene = fDiagram->Scene();
        scene.ComputeLayout(QSize(930, 500));
        QCOMPARE(scene.m_arr_voltages[1].ScaleModule, 209);
        QCOMPARE(scene.m_arr_voltages[0].ScaleModule, 208);
        QCOMPARE(scene.m_arr_voltages[2].ScaleModule, 207);
        QCOMPARE(scene.m_arr_currents[2].ScaleModule, 167);

        scene.m_arr_currents = {};
        scene.m_arr_currents[0].Module = -2;
        scene.ComputeLayout(QSize(930, 500));
        QCOMPARE(scene.m_max_current, 0.0);
        QCOMPARE(scene.m_arr_currents[0].ScaleModule, 0);
        scene.m_arr_currents[1].Module = 4;
        scene.ComputeLayout(QSize(930, 500));
        QCOMPARE(scene.m_arr_currents[0].ScaleModule, -84);
    }

    void currentAngleFollowsItsVoltage() {
        fDiagram->SetCurrent(P_L2, 5, 0.5);
        fDiagram->SetVoltage(P_L2, 230, 2.0);
        const TPolarArrow current = fDiagram->GetArrow(PO_Current, P_L2);
        QCOMPARE(current.Angle, 2.5);
        QCOMPARE(current.DiffAngle, 0.5);
        const TPolarArrow l3 = fDiagram->GetArrow(PO_Current, P_L3);
        QCOMPARE(l3.Descr, "CL3");
        QCOMPARE(l3.MUnit, "A");
        QCOMPARE(l3.Style, Qt::DotLine);
        QCOMPARE(l3.Color, QColor(0, 0, 0xFF));
    }

    void frequencyAndBackgroundRules() {
        fDiagram->SetFrequency(49.98);
        QCOMPARE(fDiagram->Frequency(), 49.98);
        fDiagram->SetFrequency(0);
        QCOMPARE(fDiagram->Frequency(), -1.0);
        fDiagram->SetBackcolor(Qt::yellow);
        fDiagram->SetVoltage(P_L1, 230, 0.1);
        fDiagram->ClearDiagram();
        QCOMPARE(fDiagram->Backcolor(), QColor(Qt::white));
        QCOMPARE(fDiagram->GetArrow(PO_Voltage, P_L1).Module, 230.0);
    }

    void scaleToPrefixAndTimestamp() {
        const std::pair<double, QString> cases[][2] = {
            {{12500, ""}, {12.5, "k"}},
            {{500, ""}, {500, ""}},
            {{1.5e6, ""}, {1.5, "M"}},
            {{-3000, ""}, {-3000, ""}},
        };
        for (const auto& c : cases) {
            QCOMPARE(PolarDiagramPainter::ScaleToPrefix(c[0].first), c[1]);
        }
        ModbusRegisters image;
        image.Fill();
        QCOMPARE(PolarDiagramPainter::TimestampText(image), "Invalid date");
        const std::pair<Quantity, int> clock[] = {
            {Quantity::ClockHour, 14},   {Quantity::ClockMinute, 5}, {Quantity::ClockSecond, 9},
            {Quantity::ClockYear, 2013}, {Quantity::ClockMonth, 10}, {Quantity::ClockDay, 12}};
        for (const auto& [quantity, value] : clock) {
            image.Put(quantity, value);
        }
        const QString stamp = PolarDiagramPainter::TimestampText(image);
        QVERIFY(stamp.startsWith(QLocale().toString(QDate(2013, 10, 12), QLocale::ShortFormat)));
        QVERIFY(stamp.endsWith(LongTimeText(QTime(14, 5, 9))));
        image.Put(Quantity::ClockMonth, 0);
        QCOMPARE(PolarDiagramPainter::TimestampText(image), "Invalid date");
        image.Put(Quantity::ClockMonth, 10);
        image.Put(Quantity::ClockYear, 0xFFFF);
        QCOMPARE(PolarDiagramPainter::TimestampText(image), "Invalid date");
    }

    void paintedPixelsShowCirclesArrowsAndTableColours() {
        const QImage before = Paint();
        // The "RMS Voltages" label of the value table, left of the table's black rule.
        const QRect voltageRow(459 + 4 * 41, 41 + 4, 60, 20);
        QVERIFY(CountPixels(before, voltageRow, Reddish) > 10);
        QCOMPARE(CountPixels(before, voltageRow, Dark), 0);
        QCOMPARE(before.pixel(55, 40) & 0xFFFFFF, 0xFF0000u);

        Feed(*fDiagram);
        const QImage after = Paint();
        QCOMPARE(after.size(), QSize(930, 500));
        QCOMPARE(after.pixel(383, 117) & 0xFFFFFF, 0xF0FFF0u);
        QCOMPARE(after.pixel(250, 150) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(CountPixels(after, voltageRow, Reddish), 0);
        QVERIFY(CountPixels(after, voltageRow, Dark) > 10);
    }

    void hoverNamesTheArrowUnderThePointer() {
        Feed(*fDiagram);
        Paint();
        QCursor::setPos(fDiagram->mapToGlobal(QPoint(250, 42)));
        QTest::mouseMove(fDiagram, QPoint(250, 42));
        fDiagram->repaint();
        QVERIFY(fDiagram->Scene().m_insideLabelShown);
        QCursor::setPos(fDiagram->mapToGlobal(QPoint(900, 480)));
        fDiagram->repaint();
        QVERIFY(!fDiagram->Scene().m_insideLabelShown);
    }

    void nonFiniteValuesAreNotDrawn() {
        Feed(*fDiagram);
        const double inf = std::numeric_limits<double>::infinity();
        fDiagram->SetVoltage(P_L3, -inf, 2 * kThird);
        fDiagram->SetCurrent(P_L1, 5, -inf);
        fDiagram->SetInstantPower(-inf);
        fRegisters.Fill();
        Paint();
        QCOMPARE(fDiagram->Scene().m_arr_voltages[2].ScaleModule, 0);
        QCOMPARE(fDiagram->Scene().m_arr_currents[0].ScaleModule, 0);
        QCOMPARE(fDiagram->Scene().m_arr_voltages[1].ScaleModule, 209);
        Paint(QSize(200, 150));
    }

    // The saved picture is the diagram without the hover label the screen may show.
    void savesTheDiagramWithoutTransientDecorations() {
        Feed(*fDiagram);
        Paint(QSize(640, 400));
        QTemporaryDir folder;
        const QString path = folder.filePath("phasor.bmp");
        fDiagram->SaveToFile(path);
        const QImage plain = QImage(path, "BMP").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(plain.size(), QSize(640, 400));
        QVERIFY(plain == fDiagram->Image().convertToFormat(QImage::Format_RGB32));

        const QPoint arrow(200, 45);
        QCursor::setPos(fDiagram->mapToGlobal(arrow));
        fDiagram->repaint();
        QVERIFY(fDiagram->Scene().m_insideLabelShown);
        QVERIFY(fDiagram->Image().convertToFormat(QImage::Format_RGB32) != plain);
        fDiagram->SaveToFile(path);
        QVERIFY(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32) == plain);
        try {
            fDiagram->SaveToFile(folder.filePath("missing/phasor.bmp"));
            QFAIL("saved into a missing folder");
        } catch (const std::runtime_error& error) {
            QCOMPARE(QString(error.what()), "No such file or directory");
        }
    }

    // Text never shrinks as the diagram grows, and no paint depends on the one before it.
    void textSizesGrowWithTheDiagramAndStartAfresh() {
        Feed(*fDiagram);
        const QSize sizes[] = {QSize(400, 260), QSize(640, 400), QSize(930, 500), QSize(1096, 503),
                               QSize(1400, 900)};
        int previous = 0;
        for (const QSize& size : sizes) {
            PolarScene scene = fDiagram->Scene();
            scene.ComputeLayout(size);
            QImage image(size, QImage::Format_RGB32);
            PolarCanvas canvas;
            canvas.Begin(image);
            PolarDiagramPainter(scene, canvas, fRegisters, QPoint(-1000, -1000)).Paint();
            canvas.End();
            QVERIFY2(canvas.FontSize() >= 8, qPrintable(QString::number(scene.m_max_volt_radius)));
            QVERIFY(canvas.FontSize() >= previous);
            previous = canvas.FontSize();
        }
        const QImage first = Paint();
        QCursor::setPos(fDiagram->mapToGlobal(QPoint(250, 42)));
        fDiagram->repaint();
        QVERIFY(fDiagram->Scene().m_insideLabelShown);
        QCursor::setPos(fDiagram->mapToGlobal(QPoint(900, 480)));
        fDiagram->repaint();
        QVERIFY(fDiagram->Image() == first);
    }

    void feedFromTheRegisterImage() {
        QTemporaryDir folder;
        TmainForm form(MainFormEnvironment{folder.filePath("k.ini"), {}, {}, {}, {}, {}, {}});
        ModbusRegisters& image = form.Registers();
        image.Fill();
        const std::pair<Quantity, float> values[] = {
            {Quantity::CurrentL1, 9.5f},        {Quantity::CurrentL2, 8.0f},
            {Quantity::CurrentL3, 11.0f},       {Quantity::VoltageL1, 230.0f},
            {Quantity::VoltageL2, 231.0f},      {Quantity::VoltageL3, 229.0f},
            {Quantity::CurrentAngleL1, 25.0f},  {Quantity::CurrentAngleL2, -18.0f},
            {Quantity::CurrentAngleL3, 38.0f},  {Quantity::VoltageAngleL2, 120.0f},
            {Quantity::VoltageAngleL3, 240.0f}, {Quantity::Frequency, 49.98f},
            {Quantity::ActivePowerTotal, 5.5f}};
        for (const auto& [quantity, value] : values) {
            image.Put(quantity, value);
        }
        form.RefreshDisplay();
        const TPolarDiagram& d = *form.PolarDiagram();
        QCOMPARE(d.GetArrow(PO_Voltage, P_L2).Module, 231.0);
        QVERIFY(std::abs(d.GetArrow(PO_Voltage, P_L3).Angle - 2 * kThird) < 1e-6);
        QCOMPARE(d.GetArrow(PO_Current, P_L1).Module, 9.5);
        QVERIFY(std::abs(d.GetArrow(PO_Current, P_L2).DiffAngle + 18 * 0.017453292519943295) <
                1e-6);
        QVERIFY(std::abs(d.GetArrow(PO_Current, P_L2).Angle -
                         (kThird - 18 * 0.017453292519943295)) < 1e-6);
        QCOMPARE(d.Frequency(), static_cast<double>(49.98f));
        QCOMPARE(d.InstantPower(), 5.5);
        QVERIFY(d.Scene().m_hasCurrentsPhases);
    }
};

QTEST_MAIN(PolarDiagramTest)
#include "polar_diagram_test.moc"
