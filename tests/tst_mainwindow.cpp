// The main window after start-up: title, form objects, combos, layout
// limits, by-name bindings, working directory and the repaint rhythm.

#include "guitest.h"
#include "varlabel.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace guitest;

namespace {

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfig(); }
    void cleanup() { removeConfig(); }

    void formObjects_data();
    void formObjects();
    void titleAndChannelNames();
    void combos_data();
    void combos();
    void controlRowHeightCapped_data();
    void controlRowHeightCapped();
    void chartTakesFiveSixthsOfTheWidth();
    void slotsBoundByNameToExactlyFiveControls();
    void currentDirectoryBecomesExecutableDirectory();
    void readoutsStartInChannelColours_data();
    void readoutsStartInChannelColours();
    void chartRepaintsOnlyWhatChanged_data();
    void chartRepaintsOnlyWhatChanged();
    void statusShowsItsStart_data();
    void statusShowsItsStart();
    void baudRateIsWhatWasTyped_data();
    void baudRateIsWhatWasTyped();
    void portFromCommandLineKeptAcrossRefresh();
};

void TestMainWindow::formObjects_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName"); // parent widget; empty for layouts

    const struct
    {
        const char *name, *className, *parent;
    } objects[] = {
        { "centralWidget", "QWidget", "MainWindow" },
        { "verticalLayout", "QVBoxLayout", "" },
        { "pushButton", "QPushButton", "centralWidget" },
        { "horizontalLayout", "QHBoxLayout", "" },
        { "chart", "Chart", "centralWidget" },
        { "groupBox_3", "QGroupBox", "centralWidget" },
        { "gridLayout_3", "QGridLayout", "" },
        { "param1", "Varlabel", "groupBox_3" },
        { "val1", "QLineEdit", "groupBox_3" },
        { "param2", "Varlabel", "groupBox_3" },
        { "val2", "QLineEdit", "groupBox_3" },
        { "param3", "Varlabel", "groupBox_3" },
        { "val3", "QLineEdit", "groupBox_3" },
        { "param4", "Varlabel", "groupBox_3" },
        { "val4", "QLineEdit", "groupBox_3" },
        { "param5", "Varlabel", "groupBox_3" },
        { "val5", "QLineEdit", "groupBox_3" },
        { "val6", "QLineEdit", "groupBox_3" },
        { "val7", "QLineEdit", "groupBox_3" },
        { "param6", "Varlabel", "groupBox_3" },
        { "param7", "Varlabel", "groupBox_3" },
        { "groupBox_7", "QGroupBox", "centralWidget" },
        { "horizontalLayout_3", "QHBoxLayout", "" },
        { "LidarModeCombo", "QComboBox", "groupBox_7" },
        { "Lidar_StartBtn", "QPushButton", "groupBox_7" },
        { "Lidar_StopBtn", "QPushButton", "groupBox_7" },
        { "groupBox_5", "QGroupBox", "centralWidget" },
        { "horizontalLayout_2", "QHBoxLayout", "" },
        { "label_5", "QLabel", "groupBox_5" },
        { "RcvCnt", "QLabel", "groupBox_5" },
        { "label_6", "QLabel", "groupBox_5" },
        { "SndCnt", "QLabel", "groupBox_5" },
        { "statusLineEdit", "QLineEdit", "groupBox_5" },
        { "label_4", "QLabel", "groupBox_5" },
        { "baudRateCombo", "QComboBox", "groupBox_5" },
        { "label_3", "QLabel", "groupBox_5" },
        { "portnameCombo", "QComboBox", "groupBox_5" },
        { "detectBtn", "QPushButton", "groupBox_5" },
        { "openBtn", "QPushButton", "groupBox_5" },
    };
    static_assert(sizeof objects / sizeof objects[0] == 39, "the form has 39 objects");
    for (const auto &o : objects)
        QTest::newRow(o.name) << QString::fromLatin1(o.className) << QString::fromLatin1(o.parent);
}

void TestMainWindow::formObjects()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    const auto window = makeWindow();
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    const QList<QObject *> found = window->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    if (auto *widget = qobject_cast<QWidget *>(found.first()))
        QCOMPARE(widget->parentWidget()->objectName(), parentName);
}

void TestMainWindow::titleAndChannelNames()
{
    const auto window = makeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAV47-V1.2"));
    QCOMPARE(window->size(), QSize(711, 401));

    // The form spells the last one "STD_dis"; start-up renames every label.
    const QStringList names {
        "Dis", "Engy", "Temp", "Ambient", "Dis_Avr10", "STD_Engy", "STD_Dis"
    };
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(child<Varlabel>(window.get(), QStringLiteral("param%1").arg(i + 1))->text(),
                 names.at(i));
}

void TestMainWindow::combos_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QStringList>("entries");

    // Not sorted: "customer" sits between 1500000 and 9600.
    QTest::newRow("baudRateCombo")
        << "460800" << true << QStringList { "460800", "230400", "2000000", "1500000", "customer",
                                             "9600",   "19200",  "38400",   "115200",  "921600" };
    // The form selects "10 Hz"; start-up moves on to "100 Hz".
    QTest::newRow("LidarModeCombo")
        << "100 Hz" << false
        << QStringList { "10 Hz", "100 Hz", "200 Hz", "500 Hz", "1000 Hz", "1800 Hz" };
}

void TestMainWindow::combos()
{
    QFETCH(QString, current);
    QFETCH(bool, editable);
    QFETCH(QStringList, entries);

    const auto window = makeWindow();
    auto *combo = child<QComboBox>(window.get(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(combo->currentText(), current);
    QCOMPARE(combo->isEditable(), editable);
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    QCOMPARE(texts, entries);

    if (editable) {
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("57600"));
        QCOMPARE(combo->currentText(), QStringLiteral("57600"));
    }
}

void TestMainWindow::controlRowHeightCapped_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("form size") << 401;
    QTest::newRow("tall") << 900;
    QTest::newRow("very tall") << 1600;
}

void TestMainWindow::controlRowHeightCapped()
{
    QFETCH(int, height);
    const auto window = makeWindow();
    window->resize(711, height);
    QVERIFY(showExposed(window.get()));
    // The form's own minimum makes the window a little taller than 401.
    QTRY_VERIFY(window->height() >= height);

    auto *controls = child<QGroupBox>(window.get(), "groupBox_7");
    auto *chart = child<Chart>(window.get(), "chart");
    QTRY_VERIFY(chart->height() > height - 250); // the chart takes what is left
    QVERIFY2(controls->height() <= 70, qPrintable(QString::number(controls->height())));
    QVERIFY(controls->height() > 20);
}

void TestMainWindow::chartTakesFiveSixthsOfTheWidth()
{
    const auto window = makeWindow();
    window->resize(1800, 600);
    QVERIFY(showExposed(window.get()));
    auto *chart = child<Chart>(window.get(), "chart");
    auto *panel = child<QGroupBox>(window.get(), "groupBox_3");
    QTRY_VERIFY(chart->width() > 1000);
    const double ratio = double(chart->width()) / panel->width();
    QVERIFY2(ratio > 4.5 && ratio < 5.5, qPrintable(QString::number(ratio)));
}

void TestMainWindow::slotsBoundByNameToExactlyFiveControls()
{
    const auto window = makeWindow();
    const QMetaObject *meta = window->metaObject();

    // Try every (form object signal, window slot) pair: disconnect reports
    // whether a connection existed.
    QStringList bound;
    const QList<QObject *> objects = window->findChildren<QObject *>();
    for (QObject *object : objects) {
        if (object->objectName().isEmpty() || object->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QMetaObject *senderMeta = object->metaObject();
        for (int s = 0; s < senderMeta->methodCount(); ++s) {
            const QMetaMethod signal = senderMeta->method(s);
            // clicked() is a clone of clicked(bool): one connection serves both.
            if (signal.methodType() != QMetaMethod::Signal
                || (signal.attributes() & QMetaMethod::Cloned))
                continue;
            for (int m = meta->methodOffset(); m < meta->methodCount(); ++m) {
                const QMetaMethod slot = meta->method(m);
                if (slot.methodType() != QMetaMethod::Slot)
                    continue;
                if (QObject::disconnect(object, signal, window.get(), slot))
                    bound.append(QStringLiteral("%1 %2 -> %3")
                                     .arg(object->objectName(), QString::fromLatin1(signal.name()),
                                          QString::fromLatin1(slot.methodSignature())));
            }
        }
    }
    bound.sort();
    const QStringList expected {
        "Lidar_StartBtn clicked -> on_Lidar_StartBtn_clicked(bool)",
        "Lidar_StopBtn clicked -> on_Lidar_StopBtn_clicked(bool)",
        "detectBtn clicked -> on_detectBtn_clicked()",
        "openBtn clicked -> on_openBtn_clicked()",
        "pushButton clicked -> on_pushButton_clicked()",
    };
    QCOMPARE(bound, expected);
}

void TestMainWindow::currentDirectoryBecomesExecutableDirectory()
{
    // A config.ini in the directory the program is started from is not the one.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    writeFile(elsewhere.filePath(QStringLiteral("config.ini")), "[Name]\nVAL1=Elsewhere\n");
    writeConfig("[Name]\nVAL1=Beside\n");

    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    const auto window = makeWindow();
    const QString now = QDir::current().canonicalPath();
    QDir::setCurrent(before);

    QCOMPARE(now, QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    QCOMPARE(child<Varlabel>(window.get(), "param1")->text(), QStringLiteral("Beside"));
}

void TestMainWindow::readoutsStartInChannelColours_data()
{
    QTest::addColumn<QColor>("colour");
    // Hidden channels (val2 to val4) show their colour too, not white.
    QTest::newRow("val1") << QColor(Qt::red);
    QTest::newRow("val2") << QColor(Qt::white);
    QTest::newRow("val3") << QColor(Qt::blue);
    QTest::newRow("val4") << QColor(Qt::darkGray);
    QTest::newRow("val5") << QColor(Qt::green);
    QTest::newRow("val6") << QColor(Qt::white);
    QTest::newRow("val7") << QColor(Qt::white);
}

void TestMainWindow::readoutsStartInChannelColours()
{
    QFETCH(QColor, colour);
    const auto window = makeWindow();
    auto *readout = child<QLineEdit>(window.get(), QString::fromLatin1(QTest::currentDataTag()));
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        QCOMPARE(readout->palette().brush(group, QPalette::Base), QBrush(colour, Qt::SolidPattern));
    QVERIFY(readout->text().isEmpty()); // until the first repaint
}

void TestMainWindow::chartRepaintsOnlyWhatChanged_data()
{
    QTest::addColumn<QString>("change"); // a sample every 50 ms, or one click
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::newRow("nothing") << "" << 0 << 0;
    QTest::newRow("new samples") << "sample" << 6 << 13;
    QTest::newRow("a channel shown") << "param3" << 1 << 1;
    QTest::newRow("scale values on") << "actionShowScale" << 1 << 1;
    QTest::newRow("fixed ranges on") << "actionFixedRanges" << 1 << 1;
    QTest::newRow("new samples while frozen") << "frozen sample" << 1 << 1;
}

void TestMainWindow::chartRepaintsOnlyWhatChanged()
{
    QFETCH(QString, change);
    QFETCH(int, least);
    QFETCH(int, most);
    const auto window = makeWindow();
    QVERIFY(showExposed(window.get()));
    auto *chart = child<Chart>(window.get(), "chart");
    QSignalSpy repaints(chart, &Chart::updateUi);
    // The readouts follow the first repaint, when the window was shown.
    QCOMPARE(child<QLineEdit>(window.get(), "val1")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(window.get(), "val7")->text(), QStringLiteral("0"));
    QTest::qWait(150);
    repaints.clear();
    PaintCounter boxes; // the group boxes, answered from their cached image or not
    child<QWidget>(window.get(), "groupBox_3")->installEventFilter(&boxes);
    child<QWidget>(window.get(), "groupBox_5")->installEventFilter(&boxes);

    // The timer paces the repaints: at most one a tick, whatever changed.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        const bool first = clock.elapsed() < 50;
        if (change.endsWith(QLatin1String("sample"))) {
            if (first && change.startsWith(QLatin1String("frozen")))
                windowAction(*window, "actionFreeze")->trigger();
            addFrame(chart->model(), 1000);
        } else if (change.startsWith(QLatin1String("action")) && first) {
            windowAction(*window, qPrintable(change))->trigger();
        } else if (!change.isEmpty() && first) {
            QTest::mouseClick(child<QWidget>(window.get(), change), Qt::LeftButton);
        }
        QTest::qWait(50);
    }
    QVERIFY2(repaints.count() >= least && repaints.count() <= most,
             qPrintable(QString::number(repaints.count())));
    // Idle, at most a text cursor blinks: nothing paints over and over.
    if (most == 0)
        QVERIFY2(boxes.paints < 30, qPrintable(QString::number(boxes.paints)));
}

void TestMainWindow::statusShowsItsStart_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::newRow("stop, port not open") << "Lidar_StopBtn" << QStringLiteral("串口未打开");
    QTest::newRow("refresh, no ports") << "detectBtn" << QStringLiteral("没有可用串口");
}

void TestMainWindow::statusShowsItsStart()
{
    QFETCH(QString, button);
    QFETCH(QString, status);
    auto window = makeWindow();
    QVERIFY(showExposed(window.get()));
    const QRect before = child<QLabel>(window.get(), "label_4")->geometry();
    auto *field = child<QLineEdit>(window.get(), "statusLineEdit");
    auto *rx = child<QLabel>(window.get(), "RcvCnt");

    // The field as the window shows it, and with only its first character:
    // the first character must sit at the same place in both.
    rx->setText(QStringLiteral("1234567"));
    field->setText(status.left(1));
    QCoreApplication::processEvents();
    const QImage first = field->grab().toImage();
    child<QPushButton>(window.get(), button)->click();
    QCOMPARE(field->text(), status);
    QCoreApplication::processEvents();
    const QImage whole = field->grab().toImage();
    const int glyph = field->fontMetrics().horizontalAdvance(status.left(1));
    const QRect start(0, 0, glyph + 4, first.height());
    QCOMPARE(whole.copy(start), first.copy(start));
    QVERIFY(field->width() > field->fontMetrics().horizontalAdvance(status));
    QCOMPARE(field->toolTip(), status);
    QCOMPARE(child<QLabel>(window.get(), "label_4")->geometry().size(), before.size());
}

void TestMainWindow::baudRateIsWhatWasTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("1, not 1500000") << "1";
    QTest::newRow("3, not 38400") << "3";
    QTest::newRow("9, not 9600") << "9";
}

void TestMainWindow::baudRateIsWhatWasTyped()
{
    QFETCH(QString, typed);
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *baud = child<QComboBox>(window.get(), "baudRateCombo");
    baud->setFocus();
    baud->lineEdit()->clear();
    QTest::keyClicks(baud, typed);
    QCOMPARE(baud->currentText(), typed);
}

void TestMainWindow::portFromCommandLineKeptAcrossRefresh()
{
    const QString path = QStringLiteral("/dev/serial/by-id/usb-TAV47-test");
    MainWindow tool(MainWindow::withPort(path));
    tool.selectPort(path);
    auto *ports = tool.findChild<QComboBox *>(QStringLiteral("portnameCombo"));
    for (int refresh = 0; refresh < 2; ++refresh) {
        QCOMPARE(ports->currentText(), path);
        int listed = 0;
        for (int i = 0; i < ports->count(); ++i)
            listed += ports->itemText(i) == path ? 1 : 0;
        QCOMPARE(listed, 1);
        tool.findChild<QPushButton *>(QStringLiteral("detectBtn"))->click();
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
