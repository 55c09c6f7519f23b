// The chart's context menu without a device: keys, the visible state, fixed
// ranges, scale values, saving and copying, and the [Review] settings. What
// does not involve the main window runs on the panels alone.

#include "channelpanel.h"
#include "channelsettings.h"
#include "chartpanel.h"
#include "chartrangesdialog.h"
#include "guitest.h"
#include "logwindow.h"
#include "varlabel.h"

#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace guitest;

namespace {

// The point drawn for sample k: the list repeats each point to chain segments.
QPointF samplePoint(const QVector<QPointF> &points, int k)
{
    return points.at(2 * k + 1);
}

// Every pixel in which two pictures differ lies in one of the rectangles.
bool differencesWithin(const QImage &a, const QImage &b, const QList<QRect> &allowed)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y))
                continue;
            bool inside = false;
            for (const QRect &r : allowed)
                inside = inside || r.contains(x, y);
            if (!inside)
                return false;
        }
    return true;
}

bool differsWithin(const QImage &a, const QImage &b, const QRect &rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return true;
    return false;
}

QStringList overlayTexts(const Chart &chart)
{
    QStringList texts;
    for (const ChartOverlay::Placed &p : chart.overlay())
        texts.append(p.item.text);
    return texts;
}

// The chart with its channel names and readouts, and the two panels over
// them, wired as the main window wires them, in a plain window.
struct PanelHost : QWidget
{
    PanelHost()
        : settings(openSettingsFile(configPath()))
    {
        setWindowTitle(QStringLiteral("TAV47-V1.2"));
        auto *grid = new QGridLayout(this);
        chart = new Chart(this);
        grid->addWidget(chart, 0, 0, 1, 2);
        for (int i = 0; i < 7; ++i) {
            labels.append(new Varlabel(this));
            readouts.append(new QLineEdit(this));
            grid->addWidget(labels.last(), i + 1, 0);
            grid->addWidget(readouts.last(), i + 1, 1);
        }
        grid->setRowStretch(0, 1);
        resize(700, 500);
        channels = new ChannelPanel(this, chart, readouts, labels, settings.get());
        panel = new ChartPanel(this, chart, { labels.cbegin(), labels.cend() }, readouts,
                               settings.get());
        connect(chart, &Chart::updateUi, this, [this] { channels->refresh(Measurement()); });
    }
    ~PanelHost() override
    {
        panel->close();
        channels->save();
    }

    std::unique_ptr<QSettings> settings;
    Chart *chart = nullptr;
    QList<Varlabel *> labels;
    QList<QLineEdit *> readouts;
    ChannelPanel *channels = nullptr;
    ChartPanel *panel = nullptr;
};

} // namespace

class TestChartPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void actionsOnKeys_data();
    void actionsOnKeys();
    void visibleState_data();
    void visibleState();
    void fixedRanges_data();
    void fixedRanges();
    void chartRanges_data();
    void chartRanges();
    void scaleValuesFit_data();
    void scaleValuesFit();
    void saveSamples_data();
    void saveSamples();
    void copyStatistics_data();
    void copyStatistics();
    void reviewSettings_data();
    void reviewSettings();
    void recordingNotes_data();
    void recordingNotes();
    void measurementLog_data();
    void measurementLog();

private:
    void showWindow(const QSize &size = QSize());
    void showPanels();
    QWidget *shown() const { return window ? static_cast<QWidget *>(window.get()) : host.get(); }
    QAction *action(const char *name) const
    {
        auto *a = shown()->findChild<QAction *>(QLatin1String(name));
        if (!a)
            qFatal("no action %s", name);
        return a;
    }
    void trigger(const char *name) { action(name)->trigger(); }
    void closeShown()
    {
        shown()->close();
        window.reset();
        host.reset();
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<PanelHost> host;
    Chart *chart = nullptr;
    QString answer; // what the save dialog answers
    QStringList proposals; // what it was asked with
    std::function<void()> whileAsking; // runs while the dialog is up
};

void TestChartPanel::init()
{
    removeConfig();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    answer.clear();
    proposals.clear();
    whileAsking = nullptr;
}

void TestChartPanel::cleanup()
{
    window.reset();
    host.reset();
    removeConfig();
}

void TestChartPanel::showWindow(const QSize &size)
{
    window = makeWindow();
    window->setSaveFileDialog(
        [this](QWidget *, const QString &, const QString &proposed, const QString &) {
            proposals.append(proposed);
            if (whileAsking)
                whileAsking();
            return answer;
        });
    if (size.isValid())
        window->resize(size);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    chart = window->findChild<Chart *>(QStringLiteral("chart"));
    QVERIFY(chart);
}

void TestChartPanel::showPanels()
{
    host = std::make_unique<PanelHost>();
    host->panel->setSaveFileDialog(
        [this](QWidget *, const QString &, const QString &proposed, const QString &) {
            proposals.append(proposed);
            if (whileAsking)
                whileAsking();
            return answer;
        });
    QVERIFY(showExposed(host.get()));
    chart = host->chart;
}

void TestChartPanel::actionsOnKeys_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<int>("dialogs"); // save dialogs asked for

    QTest::newRow("record") << QByteArray("actionRecord") << QKeySequence("Ctrl+R") << true << 1;
    QTest::newRow("freeze") << QByteArray("actionFreeze") << QKeySequence("F9") << true << 0;
    QTest::newRow("freeze by Pause")
        << QByteArray("actionFreeze") << QKeySequence(Qt::Key_Pause) << true << 0;
    QTest::newRow("clear") << QByteArray("actionClear") << QKeySequence("Ctrl+L") << false << 0;
    QTest::newRow("save samples") << QByteArray("actionSaveSamples") << QKeySequence("Ctrl+S")
                                  << false << 1;
    QTest::newRow("copy statistics")
        << QByteArray("actionCopyStatistics") << QKeySequence("Ctrl+Shift+C") << false << 0;
    QTest::newRow("fixed ranges") << QByteArray("actionFixedRanges") << QKeySequence("Ctrl+F")
                                  << true << 0;
    QTest::newRow("scale values") << QByteArray("actionShowScale") << QKeySequence("Ctrl+T") << true
                                  << 0;
    QTest::newRow("measure point")
        << QByteArray("actionMeasurePoint") << QKeySequence("Ctrl+M") << false << 0;
}

void TestChartPanel::actionsOnKeys()
{
    QFETCH(QByteArray, action);
    QFETCH(QKeySequence, key);
    QFETCH(bool, checkable);
    QFETCH(int, dialogs);

    showWindow();
    QAction *a = windowAction(*window, action.constData());
    QCOMPARE(a->isCheckable(), checkable);
    QVERIFY(!a->isChecked());

    // Pressed while the typed baud rate has the focus: the action takes the
    // key, the text field keeps its text.
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QLineEdit *baud = window->findChild<QComboBox *>(QStringLiteral("baudRateCombo"))->lineEdit();
    baud->setFocus();
    QTRY_VERIFY(baud->hasFocus());
    QSignalSpy triggered(a, &QAction::triggered);
    QTest::keySequence(baud, key);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(baud->text(), QStringLiteral("460800"));
    QCOMPARE(proposals.size(), dialogs);
    // A record the dialog was cancelled for is no recording.
    QCOMPARE(a->isChecked(), checkable && action != "actionRecord");

    // The menu a right click opens, in the desktop's look, not the chart's blue.
    QStringList menu;
    int blue = -1;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *entry : popup->actions())
                if (!entry->isSeparator())
                    menu.append(entry->objectName());
            blue = countNear(popup->grab().toImage(), QColor(2, 69, 255));
            popup->close();
        }
    });
    closer.start(10);
    QContextMenuEvent click(QContextMenuEvent::Mouse, chart->rect().center(),
                            chart->mapToGlobal(chart->rect().center()));
    QApplication::sendEvent(chart, &click);
    closer.stop();
    QCOMPARE(blue, 0);
    QCOMPARE(menu,
             QStringList({ "actionRecord", "actionFreeze", "actionClear", "actionSaveSamples",
                           "actionCopyStatistics", "actionFixedRanges", "actionShowScale",
                           "actionFindBaudRate", "actionChartRanges", "actionMeasurePoint",
                           "actionHistory" }));
}

void TestChartPanel::visibleState_data()
{
    QTest::addColumn<bool>("recording");
    QTest::addColumn<bool>("frozen");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("marks");

    QTest::newRow("neither") << false << false << "TAV47-V1.2" << QStringList();
    QTest::newRow("recording") << true << false << "TAV47-V1.2 — recording"
                               << QStringList { "REC" };
    QTest::newRow("frozen") << false << true << "TAV47-V1.2 — frozen" << QStringList { "FROZEN" };
    QTest::newRow("both") << true << true << "TAV47-V1.2 — recording, frozen"
                          << QStringList { "REC", "FROZEN" };
}

void TestChartPanel::visibleState()
{
    QFETCH(bool, recording);
    QFETCH(bool, frozen);
    QFETCH(QString, title);
    QFETCH(QStringList, marks);

    showPanels();
    for (int i = 0; i < 50; ++i)
        addFrame(chart->model(), float(1000 + i % 7));
    const QImage before = chart->grab().toImage();

    if (recording)
        QVERIFY(host->panel->startRecording(dir->filePath(QStringLiteral("run.csv"))));
    if (frozen)
        trigger("actionFreeze");
    QCOMPARE(host->windowTitle(), title);
    QCOMPARE(action("actionRecord")->isChecked(), recording);
    QCOMPARE(action("actionFreeze")->isChecked(), frozen);

    // The marks alone change the picture, top right, each where it was placed.
    const QImage shown = chart->grab().toImage();
    QCOMPARE(overlayTexts(*chart), marks);
    QList<QRect> rects;
    for (const ChartOverlay::Placed &p : chart->overlay()) {
        QVERIFY(p.rect.left() > chart->width() / 2 && p.rect.bottom() < chart->height() / 2);
        QVERIFY(differsWithin(before, shown, p.rect));
        rects.append(p.rect);
    }
    QVERIFY(differencesWithin(before, shown, rects));

    // Both off again: nothing left of them.
    QVERIFY(host->panel->stopRecording());
    if (frozen)
        trigger("actionFreeze");
    QCOMPARE(host->windowTitle(), QStringLiteral("TAV47-V1.2"));
    QCOMPARE(chart->grab().toImage(), before);
}

void TestChartPanel::fixedRanges_data()
{
    QTest::addColumn<int>("channel"); // the one curve drawn
    QTest::addColumn<QList<int>>("ranges"); // Min and Max of channels 0 and 4
    QTest::addColumn<float>("value"); // of every frame
    QTest::addColumn<double>("y"); // of the newest point on a 300-pixel chart; < 0: as unfixed
    // What the top and bottom edges stand for, fixed then unfixed: scaled to
    // its samples, a curve keeps 20 mm above the highest.
    QTest::addColumn<QList<int>>("scale");

    QTest::newRow("inside") << 0 << QList<int> { 0, 3000, 0, 15000 } << 1500.f << 150.0
                            << QList<int> { 3000, 0, 1520, 1500 };
    QTest::newRow("above Max: on the top edge") << 0 << QList<int> { 0, 1000, 0, 15000 } << 4000.f
                                                << 0.0 << QList<int> { 1000, 0, 4020, 4000 };
    QTest::newRow("below Min: on the bottom edge")
        << 0 << QList<int> { 1000, 2000, 0, 15000 } << 500.f << 300.0
        << QList<int> { 2000, 1000, 520, 500 };
    QTest::newRow("negative Min") << 0 << QList<int> { -1000, 1000, 0, 15000 } << 500.f << 75.0
                                  << QList<int> { 1000, -1000, 520, 500 };
    QTest::newRow("Max equal to Min: scaled to the samples")
        << 0 << QList<int> { 2000, 2000, 0, 15000 } << 1500.f << -1.0
        << QList<int> { 1520, 1500, 1520, 1500 };
    QTest::newRow("Max below Min: scaled to the samples")
        << 0 << QList<int> { 3000, 0, 0, 15000 } << 1500.f << -1.0
        << QList<int> { 1520, 1500, 1520, 1500 };
    // Unfixed, the mean alone keeps the distance's last scale, here none yet.
    QTest::newRow("mean on the distance's range, not its own")
        << 4 << QList<int> { 0, 3000, 0, 10 } << 1500.f << 150.0 << QList<int> { 3000, 0, 20, 0 };
}

void TestChartPanel::fixedRanges()
{
    QFETCH(int, channel);
    QFETCH(QList<int>, ranges);
    QFETCH(float, value);
    QFETCH(double, y);
    QFETCH(QList<int>, scale);
    auto mm = [](int value) {
        return QStringLiteral("%1 mm").arg(value);
    };

    Chart fixed, unfixed;
    for (Chart *c : { &fixed, &unfixed }) {
        c->resize(500, 300);
        c->changeLook([&](ChartLook &look) {
            look.showScale = true;
            for (int k = 0; k < Chart::PlottedChannels; ++k)
                look.shown[size_t(k)] = k == channel;
            look.min[0] = ranges[0];
            look.max[0] = ranges[1];
            look.min[4] = ranges[2];
            look.max[4] = ranges[3];
        });
        for (int i = 0; i < 20; ++i)
            addFrame(c->model(), value);
    }
    const QImage today = paintChart(unfixed);
    const QVector<QPointF> todayPoints = unfixed.curvePoints();
    QCOMPARE(overlayTexts(unfixed), QStringList({ mm(scale[2]), mm(scale[3]) }));

    fixed.changeLook([](ChartLook &look) { look.fixedRanges = true; });
    paintChart(fixed);
    QCOMPARE(overlayTexts(fixed), QStringList({ mm(scale[0]), mm(scale[1]) }));
    const QPointF newest = samplePoint(fixed.curvePoints(), 19);
    QCOMPARE(newest.x(), 19.0);
    if (y >= 0) {
        QCOMPARE(newest.y(), y);
    } else {
        QCOMPARE(fixed.curvePoints(), todayPoints);
    }

    // Off again: exactly today's drawing.
    fixed.changeLook([](ChartLook &look) { look.fixedRanges = false; });
    QCOMPARE(paintChart(fixed), today);
}

void TestChartPanel::chartRanges_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QList<int>>("typed"); // Min then Max; none: From Samples
    QTest::addColumn<QList<int>>("range"); // the chart's and the file's after
    QTest::addColumn<bool>("refused");

    QTest::newRow("applied") << 1 << QList<int> { 10, 200 } << QList<int> { 10, 200 } << false;
    QTest::newRow("Max below Min: the last good pair")
        << 3 << QList<int> { 3000, 1000 } << QList<int> { 3000, 15000 } << true;
    QTest::newRow("Max equal to Min")
        << 0 << QList<int> { 500, 500 } << QList<int> { 500, 15000 } << true;
    QTest::newRow("from samples") << 0 << QList<int> {} << QList<int> { 1480, 1520 } << false;
}

void TestChartPanel::chartRanges()
{
    QFETCH(int, channel);
    QFETCH(QList<int>, typed);
    QFETCH(QList<int>, range);
    QFETCH(bool, refused);

    showWindow();
    for (int i = 0; i < 20; ++i)
        addFrame(chart->model(), 1500, 100);
    trigger("actionChartRanges");
    auto *dialog = window->findChild<ChartRangesDialog *>();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    if (typed.isEmpty()) {
        dialog->findChild<QPushButton *>(QStringLiteral("fromSamples"))->click();
    } else {
        dialog->minBox(channel)->setValue(typed[0]);
        dialog->maxBox(channel)->setValue(typed[1]);
    }
    const size_t k = size_t(channel);
    QCOMPARE((QList<int> { chart->look().min[k], chart->look().max[k] }), range);
    QCOMPARE(!dialog->message(channel).isEmpty(), refused);

    // Kept in config.ini once the dialog closes.
    dialog->close();
    QSettings file(configPath(), QSettings::IniFormat);
    const QString key = QStringLiteral("VAL%1").arg(channel + 1);
    QCOMPARE((QList<int> { file.value("Min/" + key).toInt(), file.value("Max/" + key).toInt() }),
             range);
}

void TestChartPanel::scaleValuesFit_data()
{
    QTest::addColumn<QSize>("windowSize"); // invalid: maximised
    QTest::newRow("form size") << QSize(711, 401);
    QTest::newRow("maximised") << QSize();
    QTest::newRow("1920 x 1080") << QSize(1920, 1080);
}

void TestChartPanel::scaleValuesFit()
{
    QFETCH(QSize, windowSize);
    showWindow(windowSize);
    if (!windowSize.isValid()) {
        const QSize before = window->size();
        window->showMaximized();
        QTRY_VERIFY(window->size() != before);
    }
    // as the window sets it while the device streams at 1800 Hz
    chart->changeLook([](ChartLook &look) { look.rateHz = 1800; });
    for (int i = 0; i < 100; ++i)
        addFrame(chart->model(), float(1000 + i));

    const QImage plain = chart->grab().toImage();
    trigger("actionShowScale");
    const QImage scaled = chart->grab().toImage();
    QCOMPARE(overlayTexts(*chart),
             QStringList({ "1119 mm", "1000 mm", QStringLiteral("500 samples ≈ 0.28 s") }));

    // Each text whole inside the chart, none over another, and nothing else
    // changed but the two texts they replace.
    const QRect area = chart->rect();
    QList<QRect> changed;
    for (const ChartOverlay::Placed &p : chart->overlay()) {
        QVERIFY2(area.contains(p.rect), qPrintable(p.item.text));
        for (const QRect &other : changed)
            QVERIFY(!other.intersects(p.rect));
        QVERIFY(differsWithin(plain, scaled, p.rect));
        changed.append(p.rect);
    }
    const QFontMetrics metrics(chart->font());
    const int w = chart->width(), h = chart->height();
    changed.append(QRect(0, h / 2 - metrics.ascent() - 1, 12, metrics.height() + 2)); // "0"
    changed.append(QRect(w - 31, h / 2 - metrics.ascent() - 1, 31, metrics.height() + 2));
    QVERIFY(differencesWithin(plain, scaled, changed));

    trigger("actionShowScale");
    QCOMPARE(chart->grab().toImage(), plain);
}

void TestChartPanel::saveSamples_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("frozen"); // after two frames, before the third
    QTest::addColumn<bool>("distancesOnly");
    QTest::addColumn<QString>("file"); // in the temporary folder
    QTest::addColumn<QByteArray>("written"); // empty: nothing, and one warning

    // Channel 4 is the mean of the distances before each one.
    QTest::newRow("names from the file, quoted where needed")
        << QByteArray("[Name]\nVAL1=\"Dis, mm\"\n") << false << false << "s.csv"
        << QByteArray("sample,\"Dis, mm\",Engy,Temp,Ambient,Dis_Avr10\n"
                      "0,1000,5,0,7,0\n"
                      "1,1010,6,0,8,1000\n"
                      "2,1020,7,0,9,1005\n");
    QTest::newRow("frozen: the samples on screen")
        << QByteArray() << true << false << "s.csv"
        << QByteArray("sample,Dis,Engy,Temp,Ambient,Dis_Avr10\n"
                      "0,1000,5,0,7,0\n"
                      "1,1010,6,0,8,1000\n");
    QTest::newRow("distances only: the other cells empty")
        << QByteArray() << false << true << "s.csv"
        << QByteArray("sample,Dis,Engy,Temp,Ambient,Dis_Avr10\n"
                      "0,1000,,,,0\n"
                      "1,1010,,,,1000\n"
                      "2,1020,,,,1005\n");
    QTest::newRow("folder that does not exist")
        << QByteArray() << false << false << "missing/s.csv" << QByteArray();
}

void TestChartPanel::saveSamples()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, frozen);
    QFETCH(bool, distancesOnly);
    QFETCH(QString, file);
    QFETCH(QByteArray, written);

    if (!config.isEmpty())
        writeConfig(config);
    showPanels();
    const float frames[3][3] = { { 1000, 5, 7 }, { 1010, 6, 8 }, { 1020, 7, 9 } };
    for (int i = 0; i < 3; ++i) {
        if (frozen && i == 2)
            trigger("actionFreeze");
        if (distancesOnly)
            chart->model().addSample(0, frames[i][0]);
        else
            addFrame(chart->model(), frames[i][0], frames[i][1], 0, frames[i][2]);
    }

    answer = dir->filePath(file);
    // A frame that arrives while the dialog is up is not saved.
    whileAsking = [this] {
        addFrame(chart->model(), 1030, 8, 0, 10);
    };
    BoxCloser boxes;
    trigger("actionSaveSamples");
    QCOMPARE(fileContent(answer), written);
    if (written.isEmpty()) {
        QVERIFY(!QFile::exists(answer));
        QCOMPARE(boxes.titles, QStringList { "Save Samples" });
        QVERIFY2(boxes.texts.first().contains(answer), qPrintable(boxes.texts.first()));
    } else {
        QVERIFY(boxes.titles.isEmpty());
    }
}

void TestChartPanel::copyStatistics_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("firstName"); // as the label shows it
    QTest::addColumn<QString>("copied");

    const QString values = QStringLiteral("\t0\nEngy\t0\nTemp\t0\nAmbient\t0\nDis_Avr10\t1005\n"
                                          "STD_Engy\t1\nSTD_Dis\t5\nNoise_Dis\t3.54\n");
    QTest::newRow("default names") << QByteArray() << "Dis"
                                   << "Dis" + values;
    // The label shows markup as typed; the copy keeps each line two cells.
    QTest::newRow("markup and a tab in a name")
        << QByteArray("[Name]\nVAL1=<b>D\\tis</b>\n") << "<b>D\tis</b>"
        << "<b>D is</b>" + values;
}

void TestChartPanel::copyStatistics()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, firstName);
    QFETCH(QString, copied);

    if (!config.isEmpty())
        writeConfig(config);
    showPanels();
    auto *label = host->labels.first();
    QCOMPARE(label->text(), firstName);
    QCOMPARE(label->textFormat(), Qt::PlainText);

    // The statistics describe the frames before the newest: 1000 and 1010,
    // energies 5 and 6. Nothing was decoded, so the latest values are 0. The
    // noise takes all three: steps of 10 and 20, (5 / √2) mm.
    for (const float d : { 1000.f, 1010.f, 1030.f })
        addFrame(chart->model(), d, d / 10 - 95);
    chart->grab();
    QGuiApplication::clipboard()->clear();
    trigger("actionCopyStatistics");
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

// The notes beside a recording follow what is done while it runs; notes that
// cannot be written are said once and leave the recording alone.
void TestChartPanel::recordingNotes_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("written") << true;
    QTest::newRow("cannot be written") << false;
}

void TestChartPanel::recordingNotes()
{
    QFETCH(bool, writable);
    showWindow();
    const QString csv = dir->filePath(QStringLiteral("run.csv"));
    const QString json = dir->filePath(QStringLiteral("run.json"));
    if (!writable)
        QVERIFY(QDir().mkdir(json));
    QVERIFY(window->startRecording(csv));
    window->findChild<QLineEdit *>(QStringLiteral("reference"))->setText(QStringLiteral("1500"));
    for (const char *action :
         { "actionFreeze", "actionFreeze", "actionClear", "actionMeasurePoint" })
        trigger(action);
    auto *status = window->findChild<QLineEdit *>(QStringLiteral("statusLineEdit"));
    if (!writable)
        QTRY_VERIFY(status->text().contains(json));
    QVERIFY(window->isRecording());
    QVERIFY(window->stopRecording());
    QVERIFY(fileContent(csv).startsWith(CsvRecorder::Header));
    if (!writable)
        return;
    QStringList events;
    for (const QJsonValue &e : QJsonDocument::fromJson(fileContent(json))["events"].toArray())
        events.append(e["event"].toString() + ' ' + e["detail"].toString());
    QCOMPARE(events,
             QStringList({ "freeze ", "unfreeze ", "clear ", "measure_point reference 1500 mm" }));
}

void TestChartPanel::measurementLog_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("fed"); // frames of 1000 + i mm; -1: five, then Cancel
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("row"); // reference, frames, mean, error; empty: none

    QTest::newRow("logged") << "1000"
                            << "4" << 9 << "Point 1 logged"
                            << QStringList { "1000", "4", "1001.500", "1.500" };
    QTest::newRow("no reference") << ""
                                  << "2" << 2 << "Point 1 logged"
                                  << QStringList { "", "2", "1000.500", "" };
    QTest::newRow("no frame yet") << "1000"
                                  << "10" << 0 << "Waiting for frames" << QStringList();
    QTest::newRow("cancelled") << "1000"
                               << "10" << -1 << "cancelled" << QStringList();
    QTest::newRow("reference not a number")
        << "15OO"
        << "10" << 10 << "\"15OO\" is not a distance" << QStringList();
    QTest::newRow("no frames per point") << "1000"
                                         << "0" << 10 << "from 1 to 10000000" << QStringList();
    QTest::newRow("absurd frames per point")
        << "1000"
        << "20000000" << 10 << "from 1 to 10000000" << QStringList();
}

void TestChartPanel::measurementLog()
{
    QFETCH(QString, reference);
    QFETCH(QString, frames);
    QFETCH(int, fed);
    QFETCH(QString, said);
    QFETCH(QStringList, row);
    QWidget owner;
    QSettings settings(dir->filePath(QStringLiteral("config.ini")), QSettings::IniFormat);
    LogWindow log(&owner, &settings);
    log.findChild<QLineEdit *>(QStringLiteral("reference"))->setText(reference);
    log.findChild<QLineEdit *>(QStringLiteral("frames"))->setText(frames);
    log.measureAction()->trigger();
    QVERIFY(log.isVisible());
    for (int i = 0; i < (fed < 0 ? 5 : fed); ++i) {
        Measurement m;
        m.distance = quint32(1000 + i);
        log.averager().addMeasurement(m);
    }
    if (fed < 0)
        log.findChild<QPushButton *>(QStringLiteral("cancel"))->click();
    auto *status = log.findChild<QLabel *>(QStringLiteral("status"));
    QTRY_VERIFY2(status->text().contains(said), qPrintable(status->text()));
    QCOMPARE(log.log().rowCount(), row.isEmpty() ? 0 : 1);
    if (!row.isEmpty()) {
        const int columns[] = { MeasurementLog::Reference, MeasurementLog::Frames,
                                MeasurementLog::Mean, MeasurementLog::Error };
        QStringList got;
        for (int c : columns)
            got.append(log.log().cell(0, c));
        QCOMPARE(got, row);
        QVERIFY(!log.averager().isCollecting());
    }
    log.save();
    QCOMPARE(settings.value(QStringLiteral("Log/Frames")).toString(),
             frames == QLatin1String("1000") || frames.toInt() < 1 || frames.toInt() > 10000000
                 ? QString()
                 : frames);
}

void TestChartPanel::reviewSettings_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("review"); // the lines of [Review] in config.ini

    const QString folder = QStringLiteral("Folder=$TMP"); // the temporary folder
    QTest::newRow("nothing done: no section") << QStringList() << QStringList();
    QTest::newRow("fixed ranges") << QStringList { "actionFixedRanges" }
                                  << QStringList { "FixedRanges=true" };
    QTest::newRow("scale values") << QStringList { "actionShowScale" }
                                  << QStringList { "ShowScale=true" };
    QTest::newRow("folder of the last file saved")
        << QStringList { "actionSaveSamples" } << QStringList { folder };
    QTest::newRow("on and off again: nothing written")
        << QStringList { "actionShowScale", "actionShowScale" } << QStringList();
}

void TestChartPanel::reviewSettings()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, review);
    review.replaceInStrings(QStringLiteral("$TMP"), dir->path());

    // What a window that did nothing leaves in the file.
    showPanels();
    closeShown();
    const QByteArray untouched = fileContent(configPath());
    removeConfig();

    showPanels();
    answer = dir->filePath(QStringLiteral("s.csv"));
    for (const QString &a : actions)
        trigger(a.toLatin1().constData());
    closeShown();
    QStringList lines = QString::fromUtf8(fileContent(configPath())).split(QLatin1Char('\n'));
    // The section on its own; the channel sections stay as they were.
    const int start = lines.indexOf(QStringLiteral("[Review]"));
    QStringList section;
    if (start >= 0) {
        int end = start + 1;
        while (end < lines.size() && !lines.at(end).startsWith(QLatin1Char('[')))
            ++end;
        section = lines.mid(start + 1, end - start - 1);
        lines.erase(lines.begin() + start, lines.begin() + end);
    }
    section.removeAll(QString());
    QCOMPARE(section, review);
    QCOMPARE(lines.join(QLatin1Char('\n')).trimmed(), QString::fromUtf8(untouched).trimmed());

    // And the next start takes them up.
    showPanels();
    QCOMPARE(chart->look().fixedRanges, review.contains(QStringLiteral("FixedRanges=true")));
    QCOMPARE(action("actionFixedRanges")->isChecked(), chart->look().fixedRanges);
    QCOMPARE(chart->look().showScale, review.contains(QStringLiteral("ShowScale=true")));
    QCOMPARE(action("actionShowScale")->isChecked(), chart->look().showScale);
    answer.clear();
    trigger("actionRecord");
    QVERIFY(!host->panel->isRecording());
    const bool folderKept = !review.filter(QStringLiteral("Folder=")).isEmpty();
    QCOMPARE(QFileInfo(proposals.last()).absolutePath(),
             folderKept ? dir->path() : QDir::homePath());
    QVERIFY2(QRegularExpression(QStringLiteral("^tav47-\\d{8}-\\d{6}\\.csv$"))
                 .match(QFileInfo(proposals.last()).fileName())
                 .hasMatch(),
             qPrintable(proposals.last()));
}

QTEST_MAIN(TestChartPanel)
#include "tst_chartpanel.moc"
