// The channel panel: readouts refreshed on every chart repaint, and the
// channel names that show and hide curves.

#include "countertext.h"
#include "guitest.h"
#include "varlabel.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <array>
#include <cmath>
#include <limits>

using namespace guitest;

namespace {

QColor baseOf(const QLineEdit *readout)
{
    return readout->palette().color(QPalette::Active, QPalette::Base);
}

// Pixels of the curve colour itself, on the form's blue background.
int curvePixels(Chart *chart, const QColor &colour)
{
    return countNear(chart->grab().toImage(), colour);
}

} // namespace

class TestReadouts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deviationReadouts_data();
    void deviationReadouts();
    void meanReadoutCoversWholeHistory();
    void toggles_data();
    void toggles();
    void toggleChangesWhatTheChartDraws();
    void typedTextReplacedAtNextRefresh();
    void wheelOverChartRefreshesReadouts();
    void rxCountKeepsTheWindow_data();
    void rxCountKeepsTheWindow();

private:
    QLineEdit *readout(int channel) const
    {
        return child<QLineEdit>(window.get(), QStringLiteral("val%1").arg(channel + 1));
    }
    void refresh() { chart->grab(); } // one repaint, which ends with updateUi
    int stopTicks() // of the window's 100 ms timer; how many were stopped
    {
        int stopped = 0;
        for (QTimer *timer : window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            if (timer->isActive() && timer->interval() == 100) {
                timer->stop();
                ++stopped;
            }
        return stopped;
    }

    std::unique_ptr<MainWindow> window;
    Chart *chart = nullptr;
};

void TestReadouts::init()
{
    removeConfig();
    window = makeWindow();
    QVERIFY(showExposed(window.get()));
    chart = child<Chart>(window.get(), "chart");
}

void TestReadouts::cleanup()
{
    window.reset();
    removeConfig();
}

void TestReadouts::deviationReadouts_data()
{
    QTest::addColumn<float>("stdEngy");
    QTest::addColumn<float>("stdDis");
    QTest::addColumn<QString>("shownEngy"); // val6
    QTest::addColumn<QString>("shownDis"); // val7

    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("half rounds up, just under rounds down") << 12.5f << 12.49f << "13"
                                                            << "12";
    QTest::newRow("rounded the other way round") << 12.49f << 12.5f << "12"
                                                 << "13";
    QTest::newRow("70000 shown modulo 65536") << 70000.0f << 3.0f << "4464"
                                              << "3";
    QTest::newRow("65535.5 wraps to 0") << 1.0f << 65535.5f << "1"
                                        << "0";
    QTest::newRow("largest before the wrap") << 65535.4f << 0.4f << "65535"
                                             << "0";
    QTest::newRow("not a number shows 0") << nan << 7.0f << "0"
                                          << "7";
    QTest::newRow("not a number on distance") << 0.0f << nan << "0"
                                              << "0";
}

void TestReadouts::deviationReadouts()
{
    QFETCH(float, stdEngy);
    QFETCH(float, stdDis);
    QFETCH(QString, shownEngy);
    QFETCH(QString, shownDis);

    chart->model().stdEngy = stdEngy;
    chart->model().stdDis = stdDis;
    refresh();
    QCOMPARE(readout(5)->text(), shownEngy);
    QCOMPARE(readout(6)->text(), shownDis);
}

void TestReadouts::meanReadoutCoversWholeHistory()
{
    for (int i = 0; i < 20; ++i)
        addFrame(chart->model(), 100, 5);
    for (int i = 0; i < 10; ++i)
        addFrame(chart->model(), 200, 5);
    // The statistics of a frame describe the frames before it.
    addFrame(chart->model(), 9000, 5);
    refresh();
    QCOMPARE(readout(4)->text(), QStringLiteral("133")); // not the newest-ten mean, 200
    QCOMPARE(chart->model().avr10Dis, quint16(200));
    QCOMPARE(readout(5)->text(), QStringLiteral("0")); // constant energy
    QCOMPARE(readout(6)->text(), QStringLiteral("47")); // 47.14 over the 30 distances
    // Nothing decoded: the measurement readouts show its zeros.
    for (int k = 0; k < 4; ++k)
        QCOMPARE(readout(k)->text(), QStringLiteral("0"));
}

void TestReadouts::toggles_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("channel"); // -1: none
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("emitted"); // clicked(bool) signals of the label

    const int left = Qt::LeftButton;
    QTest::newRow("param1 once: hidden, white")
        << "param1" << left << false << 1 << 0 << false << QColor(Qt::white) << 1;
    QTest::newRow("param1 twice: shown, red")
        << "param1" << left << false << 2 << 0 << true << QColor(Qt::red) << 2;
    QTest::newRow("param3 once: shown, stays blue")
        << "param3" << left << false << 1 << 2 << true << QColor(Qt::blue) << 1;
    QTest::newRow("param3 twice: hidden, white")
        << "param3" << left << false << 2 << 2 << false << QColor(Qt::white) << 2;
    QTest::newRow("param2 once: shown, white either way")
        << "param2" << left << false << 1 << 1 << true << QColor(Qt::white) << 1;
    QTest::newRow("param4 right button")
        << "param4" << int(Qt::RightButton) << false << 1 << 3 << true << QColor(Qt::darkGray) << 1;
    QTest::newRow("param5 middle button")
        << "param5" << int(Qt::MiddleButton) << false << 1 << 4 << false << QColor(Qt::white) << 1;
    QTest::newRow("param1 double click: as it was")
        << "param1" << left << true << 1 << 0 << true << QColor(Qt::red) << 2;
    // Hidden again, and now painted white like any hidden channel.
    QTest::newRow("param3 double click: hidden again, white")
        << "param3" << left << true << 1 << 2 << false << QColor(Qt::white) << 2;
    QTest::newRow("param6: no curve to toggle")
        << "param6" << left << false << 1 << -1 << false << QColor() << 1;
    QTest::newRow("param7 right button: no curve to toggle")
        << "param7" << int(Qt::RightButton) << false << 3 << -1 << false << QColor() << 3;
}

void TestReadouts::toggles()
{
    QFETCH(QString, label);
    QFETCH(int, button);
    QFETCH(bool, doubleClick);
    QFETCH(int, times);
    QFETCH(int, channel);
    QFETCH(bool, shown);
    QFETCH(QColor, colour);
    QFETCH(int, emitted);

    auto *name = child<Varlabel>(window.get(), label);
    QVERIFY(name->autoFillBackground());
    const auto visibleBefore = chart->look().shown;
    QList<QColor> coloursBefore;
    for (int k = 0; k < 7; ++k)
        coloursBefore.append(baseOf(readout(k)));

    QSignalSpy clicks(name, &Varlabel::clicked);
    for (int i = 0; i < times; ++i) {
        if (doubleClick) {
            // What the system delivers: press, release, then the second press
            // as a double-click event (QTest::mouseDClick sends only that one).
            QTest::mouseClick(name, Qt::MouseButton(button));
            QTest::mouseDClick(name, Qt::MouseButton(button));
            QTest::mouseRelease(name, Qt::MouseButton(button));
        } else {
            QTest::mouseClick(name, Qt::MouseButton(button));
        }
    }
    QCOMPARE(clicks.count(), emitted);
    for (int i = 0; i < clicks.count(); ++i)
        QCOMPARE(clicks.at(i).at(0).toBool(), i % 2 == 0); // on, off, on, ...
    QCOMPARE(name->isOn(), emitted % 2 == 1);

    // Only the channel of the label changes; everything else stays.
    auto visibleAfter = visibleBefore;
    if (channel >= 0) {
        visibleAfter[size_t(channel)] = shown;
        const QPalette palette = readout(channel)->palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            QCOMPARE(palette.brush(group, QPalette::Base), QBrush(colour, Qt::SolidPattern));
    }
    QVERIFY(chart->look().shown == visibleAfter);
    for (int k = 0; k < 7; ++k)
        if (k != channel)
            QCOMPARE(baseOf(readout(k)), coloursBefore.at(k));
}

void TestReadouts::toggleChangesWhatTheChartDraws()
{
    for (int i = 0; i < 100; ++i)
        addFrame(chart->model(), float(1000 + (i * 37) % 200));
    auto *distance = child<Varlabel>(window.get(), "param1");
    auto *mean = child<Varlabel>(window.get(), "param5");

    QVERIFY(curvePixels(chart, Qt::red) > 50);
    QVERIFY(curvePixels(chart, Qt::green) > 50);
    QTest::mouseClick(distance, Qt::LeftButton);
    QCOMPARE(curvePixels(chart, Qt::red), 0);
    QVERIFY(curvePixels(chart, Qt::green) > 50);
    QTest::mouseClick(mean, Qt::LeftButton);
    QCOMPARE(curvePixels(chart, Qt::green), 0);
    QTest::mouseClick(distance, Qt::LeftButton);
    QVERIFY(curvePixels(chart, Qt::red) > 50);
}

void TestReadouts::typedTextReplacedAtNextRefresh()
{
    refresh();
    QLineEdit *distance = readout(0);
    QCOMPARE(distance->text(), QStringLiteral("0"));
    QVERIFY(!distance->isReadOnly());
    distance->setFocus();
    QTest::keyClicks(distance, QStringLiteral("999"));
    QCOMPARE(distance->text(), QStringLiteral("0999"));
    refresh();
    QCOMPARE(distance->text(), QStringLiteral("0"));

    // With the device silent, the next tick replaces it without a repaint.
    QTest::qWait(250); // let a repaint already asked for go by
    QSignalSpy repaints(chart, &Chart::updateUi);
    QTest::keyClicks(distance, QStringLiteral("9"));
    QCOMPARE(distance->text(), QStringLiteral("09"));
    QTRY_COMPARE(distance->text(), QStringLiteral("0"));
    QCOMPARE(repaints.count(), 0);
}

void TestReadouts::wheelOverChartRefreshesReadouts()
{
    // Take the timer's rhythm away, so only the wheel can refresh.
    QCOMPARE(stopTicks(), 1);
    QTest::qWait(150); // let a repaint already asked for go by

    chart->model().stdDis = 42.0f;
    QTest::qWait(250);
    QVERIFY(readout(6)->text() != QStringLiteral("42"));

    const QPoint centre = chart->rect().center();
    QWheelEvent wheel(centre, chart->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QTRY_COMPARE(readout(6)->text(), QStringLiteral("42"));
}

void TestReadouts::rxCountKeepsTheWindow_data()
{
    QTest::addColumn<QStringList>("counts"); // as the tick shows them
    QTest::addColumn<bool>("windowKept");
    QTest::newRow("up to 30,000,000") << QStringList { "22", "4096", "30000000" } << true;
    QTest::newRow("longer, then 0 again: the room given back")
        << QStringList { "30000000", "123456789012", "0" } << false;
}

void TestReadouts::rxCountKeepsTheWindow()
{
    QFETCH(QStringList, counts);
    QFETCH(bool, windowKept);
    auto *rx = child<QLabel>(window.get(), "RcvCnt");
    CounterText *counter = nullptr;
    for (QObject *o : rx->children())
        counter = counter ? counter : dynamic_cast<CounterText *>(o);
    QVERIFY(counter);
    QCOMPARE(stopTicks(), 1); // the tick would set the count of no bytes again
    const int width = window->width();
    const QRect start = rx->geometry();

    for (const QString &count : counts) {
        counter->setText(count);
        QTest::qWait(50);
        QCOMPARE(rx->x(), start.x());
        QVERIFY(rx->width() >= rx->fontMetrics().horizontalAdvance(count));
        if (windowKept)
            QCOMPARE(window->width(), width);
    }
    QCOMPARE(rx->width(), start.width());
}

QTEST_MAIN(TestReadouts)
#include "tst_readouts.moc"
