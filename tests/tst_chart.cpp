// The chart's drawing, checked on the pixels of a painted image: grid, texts,
// curve scaling, skipped curves, scrolling, tiny sizes, wheel and hover.

#include "guitest.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <set>

using namespace guitest;

namespace {

// Columns (or rows) crossed by grid lines, found in a band clear of the lines
// of the other direction and of the two texts. A line drawn at x may light
// its neighbours through antialiasing: each run of lit positions stands for
// one line, reported by its last position.
QList<int> gridLinePositions(const QImage &image, Qt::Orientation lines, int otherStep)
{
    const bool vertical = lines == Qt::Vertical;
    const int length = vertical ? image.width() : image.height();
    const int across = vertical ? image.height() : image.width();
    const int middle = image.height() / 2;
    const int width = image.width();
    std::vector<bool> lit(size_t(length), false);
    for (int a = 0; a < across; ++a) {
        if (otherStep > 0) {
            const int phase = a % otherStep;
            if (phase < 3 || phase > otherStep - 3)
                continue;
        }
        for (int p = 0; p < length; ++p) {
            const int x = vertical ? p : a;
            const int y = vertical ? a : p;
            if (y > middle - 20 && y < middle + 6 && (x < 12 || x >= width - 32))
                continue; // the texts "0" and "1000"
            if (isLit(image.pixel(x, y)))
                lit[size_t(p)] = true;
        }
    }
    QList<int> positions;
    for (int p = 0; p < length; ++p) {
        if (lit[size_t(p)] && (p + 1 == length || !lit[size_t(p + 1)]))
            positions.append(p);
    }
    return positions;
}

QList<int> multiples(int step, int count)
{
    QList<int> result;
    for (int i = 0; i < count; ++i)
        result.append(i * step);
    return result;
}

// The point drawn for sample k: the list repeats each point to chain segments.
QPointF samplePoint(const QVector<QPointF> &points, int k)
{
    return points.at(2 * k + 1);
}

class WheelCountingParent : public QWidget
{
public:
    int wheels = 0;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        ++wheels;
        event->accept();
    }
};

} // namespace

class TestChart : public QObject
{
    Q_OBJECT

private slots:
    void gridLines_data();
    void gridLines();
    void gridFollowsResize();
    void emptyChartShowsGridAndTextsOnly();
    void curveScaledToSamplesOnScreen();
    void flatSeriesLiesOnBottomEdge();
    void skippedCurves_data();
    void skippedCurves();
    void meanCurveKeepsDistanceRangeWhileDistanceHidden();
    void meanCurveBeforeDistanceWasEverDrawn();
    void curveScrollsLeftOncePerFrameWhenFull();
    void tinySizesPaint_data();
    void tinySizesPaint();
    void wheelRepaintsAndIsNotPassedOn();
    void newRateNeedsARepaint();
    void hoverSwitchesMouseTracking();
};

void TestChart::gridLines_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QList<int>>("expected");

    // 805 / 20 = 40: the last line is at 800, none in the 5 pixels left over.
    QTest::newRow("805 wide: 21 lines up to 800")
        << QSize(805, 300) << int(Qt::Vertical) << multiples(40, 21);
    // x < W: no line on the right edge itself.
    QTest::newRow("800 wide: 20 lines up to 760")
        << QSize(800, 300) << int(Qt::Vertical) << multiples(40, 20);
    QTest::newRow("819 wide: still step 40")
        << QSize(819, 300) << int(Qt::Vertical) << multiples(40, 21);
    QTest::newRow("305 high: 21 lines up to 300")
        << QSize(400, 305) << int(Qt::Horizontal) << multiples(15, 21);
    QTest::newRow("300 high: 20 lines up to 285")
        << QSize(400, 300) << int(Qt::Horizontal) << multiples(15, 20);
}

void TestChart::gridLines()
{
    QFETCH(QSize, size);
    QFETCH(int, orientation);
    QFETCH(QList<int>, expected);

    Chart chart;
    chart.resize(size);
    const QImage image = paintChart(chart);
    QCOMPARE(image.size(), size);

    const auto lines = Qt::Orientation(orientation);
    const int otherStep = lines == Qt::Vertical ? size.height() / chart.look().gridRows
                                                : size.width() / chart.look().gridColumns;
    QCOMPARE(gridLinePositions(image, lines, otherStep), expected);
}

void TestChart::gridFollowsResize()
{
    Chart chart;
    chart.resize(805, 300);
    QCOMPARE(gridLinePositions(paintChart(chart), Qt::Vertical, 15), multiples(40, 21));

    chart.resize(400, 305);
    const QImage smaller = paintChart(chart);
    QCOMPARE(gridLinePositions(smaller, Qt::Vertical, 15), multiples(20, 20));
    QCOMPARE(gridLinePositions(smaller, Qt::Horizontal, 20), multiples(15, 21));

    chart.resize(805, 300);
    QCOMPARE(gridLinePositions(paintChart(chart), Qt::Vertical, 15), multiples(40, 21));
}

void TestChart::emptyChartShowsGridAndTextsOnly()
{
    Chart chart;
    chart.resize(400, 300);
    chart.changeLook([](ChartLook &look) { look.shown.fill(true); });
    QSignalSpy repaints(&chart, &Chart::updateUi);

    const QImage image = paintChart(chart);
    QCOMPARE(repaints.count(), 1);
    QCOMPARE(countColoured(image), 0);

    // Between grid lines (x = 0, 20, ..., y = 135, 150) the texts sit just above
    // the middle line: "0" at the left, "1000" from 30 pixels short of the right.
    auto litIn = [&image](int x0, int x1) {
        int n = 0;
        for (int y = 137; y <= 147; ++y)
            for (int x = x0; x <= x1; ++x)
                n += isLit(image.pixel(x, y)) ? 1 : 0;
        return n;
    };
    QVERIFY2(litIn(1, 17) > 5, "no \"0\" at the left of the middle line");
    QVERIFY2(litIn(371, 378) + litIn(381, 398) > 10, "no \"1000\" at the right");
    QCOMPARE(litIn(201, 218), 0);

    paintChart(chart);
    paintChart(chart);
    QCOMPARE(repaints.count(), 3);
}

void TestChart::curveScaledToSamplesOnScreen()
{
    Chart chart;
    chart.resize(500, 300);
    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::DistanceMean10] = false; });
    addFrame(chart.model(), 1000);
    addFrame(chart.model(), 1100);
    addFrame(chart.model(), 1200);

    const QImage image = paintChart(chart);
    QCOMPARE(chart.rangeMin(0), 1000);
    QCOMPARE(chart.rangeMax(0), 1200);

    // 2m + 1 points: the first sample also opens a zero-length segment.
    QCOMPARE(chart.curvePoints().size(), 7);
    QCOMPARE(samplePoint(chart.curvePoints(), 0), QPointF(0, 300));
    QCOMPARE(samplePoint(chart.curvePoints(), 1).x(), 1.0);
    QVERIFY(qAbs(samplePoint(chart.curvePoints(), 1).y() - (300 - 100.0 / 220 * 300)) < 0.01);
    QCOMPARE(samplePoint(chart.curvePoints(), 2).x(), 2.0);
    QVERIFY(qAbs(samplePoint(chart.curvePoints(), 2).y() - 27.27) < 0.01);

    // The red pen (2 pixels) reaches the bottom row and stops near y = 27.3.
    int top = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 10; ++x)
            if (isHue(image.pixel(x, y), Qt::red)) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    QCOMPARE(bottom, 299);
    QVERIFY2(top >= 25 && top <= 27, qPrintable(QString::number(top)));
}

void TestChart::flatSeriesLiesOnBottomEdge()
{
    Chart chart;
    chart.resize(500, 300);
    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::DistanceMean10] = false; });
    for (int i = 0; i < 100; ++i)
        addFrame(chart.model(), 1234);

    const QImage image = paintChart(chart);
    int above = 0;
    for (int y = 0; y < 297; ++y)
        for (int x = 0; x < image.width(); ++x)
            above += isHue(image.pixel(x, y), Qt::red) ? 1 : 0;
    QCOMPARE(above, 0);
    for (int x = 2; x < 98; x += 8)
        QVERIFY2(isHue(image.pixel(x, 299), Qt::red), qPrintable(QString::number(x)));
    QVERIFY(!isHue(image.pixel(120, 299), Qt::red)); // sample 99 sits at x = 99
}

void TestChart::skippedCurves_data()
{
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<bool>("distanceOnly"); // frames feed channel 0 alone
    QTest::addColumn<int>("frames");
    QTest::addColumn<QList<int>>("drawn");

    QTest::newRow("defaults: distance and its mean")
        << QList<int> { 0, 4 } << false << 50 << QList<int> { 0, 4 };
    QTest::newRow("distance hidden") << QList<int> { 4 } << false << 50 << QList<int> { 4 };
    QTest::newRow("everything hidden") << QList<int> {} << false << 50 << QList<int> {};
    QTest::newRow("all shown, no frame yet")
        << QList<int> { 0, 1, 2, 3, 4 } << false << 0 << QList<int> {};
    QTest::newRow("shown channel with an empty series")
        << QList<int> { 0, 1 } << true << 50 << QList<int> { 0 };
    QTest::newRow("all shown") << QList<int> { 0, 1, 2, 3, 4 } << false << 50
                               << QList<int> { 0, 1, 2, 3, 4 };
    QTest::newRow("odd ones shown") << QList<int> { 1, 3 } << false << 50 << QList<int> { 1, 3 };
}

void TestChart::skippedCurves()
{
    QFETCH(QList<int>, shown);
    QFETCH(bool, distanceOnly);
    QFETCH(int, frames);
    QFETCH(QList<int>, drawn);

    // Pure colours far from each other, from the grid's grey and from any
    // half-and-half blend of two of them.
    const std::array<QColor, 5> colours { QColor(Qt::red), QColor(Qt::magenta), QColor(Qt::blue),
                                          QColor(Qt::yellow), QColor(Qt::green) };
    Chart chart;
    chart.resize(500, 300);
    chart.changeLook([&](ChartLook &look) {
        for (int i = 0; i < 5; ++i) {
            look.colours[size_t(i)] = colours[size_t(i)];
            look.shown[size_t(i)] = shown.contains(i);
        }
    });
    // Each channel scales to fill the height, so give them different shapes:
    // rising, falling, a V, and flat; the mean trails the rising distance.
    for (int i = 0; i < frames; ++i) {
        if (distanceOnly)
            chart.model().addSample(0, 1000 + 10 * i);
        else
            addFrame(chart.model(), 1000 + 10 * i, 3000 - 10 * i, float(qAbs(i - 25)), 77);
    }

    const QImage image = paintChart(chart);
    for (int i = 0; i < 5; ++i) {
        const int pixels = countNear(image, colours[size_t(i)]);
        if (drawn.contains(i))
            QVERIFY2(pixels > 20, qPrintable(QStringLiteral("channel %1 missing").arg(i)));
        else
            QVERIFY2(pixels == 0, qPrintable(QStringLiteral("channel %1 drawn").arg(i)));
    }
    if (drawn.isEmpty())
        QCOMPARE(countColoured(image), 0);
}

void TestChart::meanCurveKeepsDistanceRangeWhileDistanceHidden()
{
    Chart chart;
    chart.resize(500, 300);
    for (float v : { 1000.f, 1100.f, 1200.f })
        addFrame(chart.model(), v);
    paintChart(chart);
    QCOMPARE(chart.rangeMin(4), 1000);
    QCOMPARE(chart.rangeMax(4), 1200);

    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::Distance] = false; });
    for (float v : { 5000.f, 6000.f, 7000.f })
        addFrame(chart.model(), v);
    const QImage image = paintChart(chart);
    QCOMPARE(chart.rangeMin(0), 1000);
    QCOMPARE(chart.rangeMax(0), 1200);
    QCOMPARE(chart.rangeMin(4), 1000);
    QCOMPARE(chart.rangeMax(4), 1200);

    // Drawn on that old scale, the mean of the first three (1100) lands at the
    // height the old range gives it; the later means lie above the picture.
    const QPointF third = samplePoint(chart.curvePoints(), 3);
    QCOMPARE(third.x(), 3.0);
    QVERIFY(qAbs(third.y() - (300 - 100.0 / 220 * 300)) < 0.01);
    QVERIFY(isHue(image.pixel(3, int(third.y())), Qt::green));
    QVERIFY(samplePoint(chart.curvePoints(), 5).y() < 0);
    QCOMPARE(countHue(image, Qt::red), 0);

    // Shown again, the distance sets the range for both once more.
    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::Distance] = true; });
    paintChart(chart);
    QCOMPARE(chart.rangeMax(0), 7000);
    QCOMPARE(chart.rangeMax(4), 7000);
    QCOMPARE(chart.rangeMin(4), 1000);
}

void TestChart::meanCurveBeforeDistanceWasEverDrawn()
{
    Chart chart;
    chart.resize(500, 300);
    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::Distance] = false; });
    for (int i = 0; i < 20; ++i)
        addFrame(chart.model(), 1000);
    paintChart(chart);
    QCOMPARE(chart.rangeMin(4), 0);
    QCOMPARE(chart.rangeMax(4), 0);
    QCOMPARE(chart.curvePoints().size(), 41);
}

void TestChart::curveScrollsLeftOncePerFrameWhenFull()
{
    Chart chart;
    chart.resize(500, 300);
    chart.changeLook([](ChartLook &look) { look.shown[ChannelModel::DistanceMean10] = false; });
    // Every run of 200 frames holds each value 1000..1199 once, so the range of
    // any 500 frames on screen is the same and only the position changes.
    auto value = [](int frame) {
        return float(1000 + (frame * 37) % 200);
    };
    int frame = 0;
    for (; frame < 600; ++frame)
        addFrame(chart.model(), value(frame));

    for (const ChannelSeries &s : chart.model().series)
        QCOMPARE(s.size(), 500);
    QCOMPARE(chart.model().series[0].at(0), value(100));

    const QImage before = paintChart(chart);
    const QVector<QPointF> pointsBefore = chart.curvePoints();
    QCOMPARE(pointsBefore.size(), 1001);
    QCOMPARE(chart.rangeMin(0), 1000);
    QCOMPARE(chart.rangeMax(0), 1199);

    addFrame(chart.model(), value(frame++));
    const QImage after = paintChart(chart);
    const QVector<QPointF> pointsAfter = chart.curvePoints();
    QCOMPARE(pointsAfter.size(), 1001);
    // The newest sits one step short of the right edge.
    QCOMPARE(samplePoint(pointsAfter, 499).x(), 499.0);
    for (int k = 0; k < 499; ++k) {
        QCOMPARE(samplePoint(pointsAfter, k).x(), double(k));
        QCOMPARE(samplePoint(pointsAfter, k).y(), samplePoint(pointsBefore, k + 1).y());
    }

    // On screen: the red of the new picture is the old one moved one pixel
    // left. Antialiased edges over the fixed grid may differ in a few pixels;
    // without the move, far more would.
    int shifted = 0, unshifted = 0, red = 0;
    for (int y = 0; y < 300; ++y) {
        if (y > 130 && y < 156)
            continue; // the texts
        for (int x = 1; x < 497; ++x) {
            const bool now = isHue(after.pixel(x, y), Qt::red);
            red += now ? 1 : 0;
            shifted += now != isHue(before.pixel(x + 1, y), Qt::red) ? 1 : 0;
            unshifted += now != isHue(before.pixel(x, y), Qt::red) ? 1 : 0;
        }
    }
    QVERIFY(red > 1000);
    QVERIFY2(shifted * 50 < red, qPrintable(QStringLiteral("%1 of %2").arg(shifted).arg(red)));
    QVERIFY(unshifted > 5 * shifted);
}

void TestChart::tinySizesPaint_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("10 x 10") << QSize(10, 10);
    QTest::newRow("10 wide") << QSize(10, 300);
    QTest::newRow("10 high") << QSize(805, 10);
    QTest::newRow("19 x 19, one short of a step") << QSize(19, 19);
    QTest::newRow("1 x 1") << QSize(1, 1);
}

void TestChart::tinySizesPaint()
{
    QFETCH(QSize, size);
    Chart chart;
    chart.resize(size);
    for (int i = 0; i < 30; ++i)
        addFrame(chart.model(), 1000 + i);
    QSignalSpy repaints(&chart, &Chart::updateUi);
    // A zero grid step must not loop for ever: the painting simply returns.
    const QImage image = paintChart(chart);
    QCOMPARE(image.size(), size);
    QCOMPARE(repaints.count(), 1);
}

// The span text follows the rate, so the tick must not take a chart drawn at
// another rate for up to date.
void TestChart::newRateNeedsARepaint()
{
    Chart chart;
    chart.resize(300, 200);
    chart.changeLook([](ChartLook &look) { look.rateHz = 100; });
    paintChart(chart);
    QVERIFY(chart.isUpToDate());
    chart.changeLook([](ChartLook &look) { look.rateHz = 1800; });
    QVERIFY(!chart.isUpToDate());

    // A new look repaints by itself; the same one, set on every tick, never.
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTRY_VERIFY(chart.isUpToDate());
    QSignalSpy repaints(&chart, &Chart::updateUi);
    chart.setLook(chart.look());
    QTest::qWait(100);
    QCOMPARE(repaints.count(), 0);
    chart.changeLook([](ChartLook &look) { look.showScale = true; });
    QTRY_COMPARE(repaints.count(), 1);
}

void TestChart::wheelRepaintsAndIsNotPassedOn()
{
    WheelCountingParent parent;
    parent.resize(400, 300);
    auto *chart = new Chart(&parent);
    chart->resize(400, 300);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    for (int i = 0; i < 20; ++i)
        addFrame(chart->model(), 1000 + i);
    const auto seriesBefore = chart->model().series[0].values();
    const auto visibleBefore = chart->look().shown;

    QSignalSpy repaints(chart, &Chart::updateUi);
    QTest::qWait(150); // let the first paint of the shown window go by
    repaints.clear();
    QTest::qWait(150);
    QCOMPARE(repaints.count(), 0); // nothing repaints on its own

    QWheelEvent wheel(QPointF(200, 150), QPointF(chart->mapToGlobal(QPoint(200, 150))), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QTRY_COMPARE(repaints.count(), 1);
    QCOMPARE(parent.wheels, 0);
    QCOMPARE(chart->model().series[0].values(), seriesBefore);
    QVERIFY(chart->look().shown == visibleBefore);
}

void TestChart::hoverSwitchesMouseTracking()
{
    Chart chart;
    QVERIFY(!chart.hasMouseTracking());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&chart, &enter);
    QVERIFY(chart.hasMouseTracking());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&chart, &leave);
    QVERIFY(!chart.hasMouseTracking());
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
