// The History window: opened from the main window, following the live
// store until the user moves the view, drawing a one-frame spike, loading a
// recording with its markers, and exporting what is in view.

#include "guitest.h"
#include "historyintake.h"
#include "historywindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_histogram.h>
#include <qwt_plot_marker.h>

using namespace guitest;

namespace {

// A window on a store of its own, fed at 1 kHz; nothing depends on clocks.
struct LiveWindow
{
    HistoryStore store;
    HistoryIntake intake { &store };
    HistoryWindow window { &intake };
    qint64 next = 0;

    explicit LiveWindow(qint64 capacity = HistoryStore::DefaultCapacity)
        : store(capacity)
    {
        ChartLook look; // the distance and its mean are shown, as at start-up
        window.setLook(look);
        window.resize(1000, 600);
    }
    void add(int frames, int distance = 1000)
    {
        for (int i = 0; i < frames; ++i, next += 1000)
            store.append(next, quint16(distance + i % 3), 10, 2);
    }
    QWidget *canvas() const { return window.plot()->canvas(); }
};

void mouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget *target, Qt::MouseButton button, QPoint from, QPoint to)
{
    mouse(target, QEvent::MouseButtonPress, button, from);
    mouse(target, QEvent::MouseMove, button, (from + to) / 2);
    mouse(target, QEvent::MouseMove, button, to);
    mouse(target, QEvent::MouseButtonRelease, button, to);
}

const char Recording[] = "host_time,elapsed_s,distance_mm,energy,ambient\n"
                         "2026-12-08T07:40:00.000Z,0.001000,1500,60,3\n"
                         "2026-12-08T07:40:00.001Z,0.002000,1501,61,3\n"
                         "2026-12-08T07:40:00.002Z,0.003000,not a number,61,3\n"
                         "2026-12-08T07:40:00.003Z,0.004000,1502,62,4\n"
                         "2026-12-08T07:40:00.004Z,0.005000,1499,60,3\n";
const char Sidecar[] = R"({ "format": "tav47-recording", "format_version": 1,
    "start_utc": "2026-12-08T07:40:00.000Z",
    "events": [ { "elapsed_s": 0.0, "event": "open" },
                { "elapsed_s": 0.003, "event": "measure_point", "detail": "reference 1500 mm" } ] })";

int markers(const HistoryWindow &window)
{
    return window.plot()->itemList(QwtPlotItem::Rtti_PlotMarker).size();
}

} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfig(); }
    void cleanup() { removeConfig(); }

    void actionOpensWindow();
    void liveFollowsUntilMoved_data();
    void liveFollowsUntilMoved();
    void spikeOfOneFrameIsDrawn();
    void saysFromWhenItHoldsData();
    void heldFramesJoinInOrder();
    void loadsRecording_data();
    void loadsRecording();
    void exportsView();
};

void TestHistoryWindow::actionOpensWindow()
{
    auto main = makeWindow();
    QVERIFY(showExposed(main.get()));
    QApplication::setActiveWindow(main.get());
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    QCOMPARE(windowAction(*main, "actionHistory")->shortcut(), QKeySequence("Ctrl+H"));
    QTest::keySequence(main.get(), QKeySequence("Ctrl+H"));
    auto *history = main->findChild<HistoryWindow *>();
    QVERIFY(history);
    QTRY_VERIFY(history->isVisible());
    QVERIFY(history->isWindow());
    QVERIFY(history->isLive());
    QVERIFY(main->findChild<QAbstractButton *>(QStringLiteral("follow"))->isVisible());
}

void TestHistoryWindow::liveFollowsUntilMoved_data()
{
    QTest::addColumn<QString>("move");
    QTest::newRow("wheel") << "wheel";
    QTest::newRow("drag") << "drag";
    QTest::newRow("right-drag box") << "box";
}

void TestHistoryWindow::liveFollowsUntilMoved()
{
    QFETCH(QString, move);
    LiveWindow live;
    live.add(5000);
    QVERIFY(showExposed(&live.window));
    const HistoryViewRange &view = live.window.view();
    QVERIFY(view.isFollowing());
    QCOMPARE(view.t1Us(), live.store.lastTimeUs() + 1);
    live.add(1000);
    QTRY_COMPARE(view.t1Us(), live.store.lastTimeUs() + 1);
    QCOMPARE(view.t0Us(), 0);

    QWidget *canvas = live.canvas();
    const QPoint middle = canvas->rect().center();
    QSignalSpy analysed(&live.window, &HistoryWindow::analysed);
    if (move == QLatin1String("wheel")) {
        QWheelEvent wheel(middle, canvas->mapToGlobal(middle), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
    } else if (move == QLatin1String("drag")) {
        drag(canvas, Qt::LeftButton, middle, middle + QPoint(100, 0));
    } else {
        drag(canvas, Qt::RightButton, middle - QPoint(50, 20), middle + QPoint(50, 20));
    }
    QVERIFY(!view.isFollowing());
    const qint64 t0 = view.t0Us(), t1 = view.t1Us();
    QVERIFY(t1 - t0 < 6000 * 1000 || t0 > 0); // zoomed in, or moved off the start
    live.add(1000);
    QTest::qWait(300);
    QCOMPARE(view.t0Us(), t0);
    QCOMPARE(view.t1Us(), t1);
    QVERIFY(analysed.count() <= 1); // the move's; frames outside the view start none

    // Follow keeps the width and moves to the newest frame.
    live.window.findChild<QPushButton *>(QStringLiteral("follow"))->click();
    QVERIFY(view.isFollowing());
    QCOMPARE(view.t1Us(), live.store.lastTimeUs() + 1);
    QCOMPARE(view.t1Us() - view.t0Us(), t1 - t0);
    // A double-click shows everything again.
    mouse(canvas, QEvent::MouseButtonDblClick, Qt::LeftButton, middle);
    QCOMPARE(view.t0Us(), 0);
    QCOMPARE(view.t1Us(), live.store.lastTimeUs() + 1);
}

void TestHistoryWindow::spikeOfOneFrameIsDrawn()
{
    // A million frames on 1000-odd pixel columns: one frame of 5000 mm among
    // 1000s must still reach the top, and nothing else may.
    LiveWindow live;
    live.add(500000);
    live.add(1, 5000);
    live.add(500000);
    QVERIFY(showExposed(&live.window));
    const QImage image = live.canvas()->grab().toImage();
    const QColor red(Qt::red);
    int topRows = 0, columns = 0;
    for (int x = 0; x < image.width(); ++x) {
        bool hit = false;
        for (int y = 0; y < image.height() / 4; ++y)
            if (isHue(image.pixel(x, y), red)) {
                hit = true;
                ++topRows;
            }
        columns += hit ? 1 : 0;
    }
    QVERIFY2(columns >= 1 && columns <= 3, qPrintable(QString::number(columns)));
    QVERIFY(topRows > image.height() / 8);
}

void TestHistoryWindow::saysFromWhenItHoldsData()
{
    LiveWindow live(1000);
    live.add(3000);
    QVERIFY(showExposed(&live.window));
    const QString status = child<QLabel>(&live.window, QStringLiteral("status"))->text();
    for (const char *said : { "holds data from 2.0 s (", "2000 older frames dropped" })
        QVERIFY2(status.contains(QLatin1String(said)), qPrintable(status));
    QCOMPARE(live.window.view().t0Us(), 2000000);
}

void TestHistoryWindow::heldFramesJoinInOrder()
{
    HistoryStore store;
    HistoryIntake intake(&store);
    Measurement m;
    m.distance = 1000;
    intake.newRead();
    intake.addMeasurement(m);
    intake.hold();
    intake.hold(); // two holders: frames join when both have let go
    for (quint32 d = 1001; d <= 1003; ++d) {
        QTest::qWait(2);
        m.distance = d;
        intake.newRead();
        intake.addMeasurement(m);
    }
    QCOMPARE(store.size(), 1); // nothing joins while a worker may read
    intake.release();
    QCOMPARE(store.size(), 1);
    intake.release();
    QCOMPARE(store.size(), 4);
    for (qint64 i = 1; i < 4; ++i) {
        QCOMPARE(store.at(i).distance, quint16(1000 + i));
        QVERIFY(store.at(i).timeUs
                > store.at(i - 1).timeUs); // the time each came, not the release's
    }
}

void TestHistoryWindow::loadsRecording_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<qint64>("frames"); // -1: not loaded
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<int>("markers");

    QTest::newRow("malformed row, with events")
        << QByteArray(Recording) << QByteArray(Sidecar) << qint64(4)
        << QStringList { "1 row(s)", "line 4" } << 2;
    QTest::newRow("unreadable sidecar") << QByteArray(Recording) << QByteArray("{ broken")
                                        << qint64(4) << QStringList { "4 measurement" } << 0;
    QTest::newRow("not a recording") << QByteArray("name,value\nx,1\n") << QByteArray()
                                     << qint64(-1) << QStringList { "not a recording" } << 0;
}

void TestHistoryWindow::loadsRecording()
{
    QFETCH(QByteArray, csv);
    QFETCH(QByteArray, json);
    QFETCH(qint64, frames);
    QFETCH(QStringList, said);
    QFETCH(int, markers);

    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("run.csv")), csv);
    if (!json.isEmpty())
        writeFile(dir.filePath(QStringLiteral("run.json")), json);
    LiveWindow live;
    live.add(100);
    QVERIFY(showExposed(&live.window));
    QSignalSpy loaded(&live.window, &HistoryWindow::loaded);
    QSignalSpy analysed(&live.window, &HistoryWindow::analysed);
    live.window.openRecording(dir.filePath(QStringLiteral("run.csv")));
    QVERIFY(loaded.wait(10000));
    analysed.clear(); // the live store's
    for (const QString &text : said)
        QVERIFY2(live.window.message().contains(text), qPrintable(live.window.message()));
    QCOMPARE(live.window.isLive(), frames < 0);
    QCOMPARE(live.window.shownStore()->size(), frames < 0 ? 100 : frames);
    QCOMPARE(::markers(live.window), markers);
    if (frames >= 0) {
        // Its histogram and Allan deviation, of the recording's frames.
        QTRY_VERIFY(!analysed.isEmpty());
        auto *histogram = static_cast<QwtPlotHistogram *>(
            child<QwtPlot>(&live.window, QStringLiteral("histogramPlot"))
                ->itemList(QwtPlotItem::Rtti_PlotHistogram)
                .value(0));
        double counted = 0;
        for (size_t i = 0; i < histogram->dataSize(); ++i)
            counted += histogram->sample(int(i)).value;
        QCOMPARE(counted, double(frames));
        // All: every frame, and the event before the first.
        QCOMPARE(live.window.view().t0Us(), markers ? 0 : 1000);
        QCOMPARE(live.window.view().t1Us(), 5001);
        // Clock time: the view starts at 07:40 by the sidecar's start, or by
        // the first row's time less its elapsed time; so does the open event.
        auto *clock = child<QCheckBox>(&live.window, QStringLiteral("clockTime"));
        QVERIFY(clock->isEnabled());
        clock->setChecked(true);
        const double at0740
            = double(QDateTime(QDate(2026, 12, 8), QTime(7, 40), Qt::UTC).toMSecsSinceEpoch());
        QCOMPARE(live.window.plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound(), at0740);
        if (markers)
            QCOMPARE(static_cast<QwtPlotMarker *>(
                         live.window.plot()->itemList(QwtPlotItem::Rtti_PlotMarker).value(0))
                         ->xValue(),
                     at0740);
        live.window.findChild<QPushButton *>(QStringLiteral("live"))->click();
        QVERIFY(live.window.isLive());
        QCOMPARE(::markers(live.window), 0);
    }
}

void TestHistoryWindow::exportsView()
{
    QTemporaryDir dir;
    LiveWindow live;
    live.store.startUtc = QDateTime(QDate(2026, 12, 8), QTime(7, 40), Qt::UTC);
    live.store.events.push_back({ 2500000, QStringLiteral("measure_point"), QStringLiteral("x") });
    live.add(5000);
    QVERIFY(showExposed(&live.window));
    // Frames 2000 to 2999 in view, so the export is a part of the store.
    const auto xAt = [&](double seconds) {
        return int(live.window.plot()->transform(QwtPlot::xBottom, seconds));
    };
    drag(live.canvas(), Qt::RightButton, QPoint(xAt(1.9995), 10), QPoint(xAt(2.9995), 10));
    const qint64 first = live.store.lowerBound(live.window.view().t0Us());
    const qint64 end = live.store.lowerBound(live.window.view().t1Us());
    QVERIFY(end - first > 900 && end - first < 1100);

    const QString csv = dir.filePath(QStringLiteral("view.csv"));
    QSignalSpy exported(&live.window, &HistoryWindow::exported);
    live.window.exportCsv(csv);
    QVERIFY(exported.wait(10000));
    QVERIFY2(exported.takeFirst().at(0).toBool(), qPrintable(live.window.message()));
    const RecordingLoader::Result back = loadRecording(csv);
    QVERIFY2(back.store, qPrintable(back.message()));
    QCOMPARE(back.malformedRows, 0);
    QCOMPARE(back.store->size(), end - first);
    for (qint64 i : { qint64(0), end - first - 1 }) {
        const HistoryFrame a = live.store.at(first + i), b = back.store->at(i);
        QCOMPARE(b.timeUs, a.timeUs); // the run's times, as shown
        QCOMPARE(b.distance, a.distance);
        QCOMPARE(b.energy, a.energy);
    }
    QCOMPARE(back.store->events.size(), size_t(1));

    for (const char *name : { "view.png", "view.svg" }) {
        const QString path = dir.filePath(QLatin1String(name));
        QVERIFY2(live.window.exportImage(path), qPrintable(live.window.message()));
        QVERIFY(QFileInfo(path).size() > 1000);
    }
    QCOMPARE(QImage(dir.filePath(QStringLiteral("view.png"))).size(), live.window.plot()->size());
    // A folder that is not there: said, and no success claimed.
    live.window.exportCsv(dir.filePath(QStringLiteral("none/view.csv")));
    QVERIFY(exported.wait(10000));
    QVERIFY(!exported.takeFirst().at(0).toBool());
    QVERIFY(live.window.message().contains(QStringLiteral("none/view.csv")));
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
