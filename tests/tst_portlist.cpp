// The Refresh button's merge of the port list, as a pure rule and on the
// window's real selector.

#include "guitest.h"
#include "portlist.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace guitest;

class TestPortList : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfig(); }
    void cleanup() { removeConfig(); }

    void merge_data();
    void merge();
    void refreshButtonAppliesTheMerge();
};

void TestPortList::merge_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("available");
    QTest::addColumn<QStringList>("expectedItems");
    QTest::addColumn<int>("expectedCurrent");
    QTest::addColumn<QString>("expectedReport");

    const QStringList none;
    QTest::newRow("one gone, one new")
        << QStringList { "COM1", "COM3" } << 1 << QStringList { "COM3", "COM4" }
        << QStringList { "COM3", "COM4" } << 0 << QStringLiteral("COM1移除新添COM4");
    QTest::newRow("unchanged") << QStringList { "COM1", "COM3" } << 1
                               << QStringList { "COM1", "COM3" } << QStringList { "COM1", "COM3" }
                               << 1 << QString();
    QTest::newRow("system order differs")
        << QStringList { "COM3", "COM1" } << 0 << QStringList { "COM1", "COM3" }
        << QStringList { "COM3", "COM1" } << 0 << QString();
    QTest::newRow("first fill") << none << -1 << QStringList { "COM1", "COM3" }
                                << QStringList { "COM1", "COM3" } << 0
                                << QStringLiteral("新添COM1新添COM3");
    QTest::newRow("no ports at all")
        << none << -1 << none << none << -1 << QStringLiteral("没有可用串口");
    QTest::newRow("last port gone") << QStringList { "COM1" } << 0 << none << none << -1
                                    << QStringLiteral("COM1移除没有可用串口");
    QTest::newRow("letter case counts")
        << QStringList { "com3" } << 0 << QStringList { "COM3" } << QStringList { "COM3" } << 0
        << QStringLiteral("com3移除新添COM3");
    QTest::newRow("listed twice, added once")
        << QStringList { "COM1" } << 0 << QStringList { "COM1", "COM5", "COM5" }
        << QStringList { "COM1", "COM5" } << 0 << QStringLiteral("新添COM5");
    QTest::newRow("current stays where it went")
        << QStringList { "COM1", "COM2", "COM3" } << 2 << QStringList { "COM2", "COM3" }
        << QStringList { "COM2", "COM3" } << 1 << QStringLiteral("COM1移除");
    QTest::newRow("new port does not take the selection")
        << QStringList { "COM1", "COM2" } << 1 << QStringList { "COM9", "COM1", "COM2" }
        << QStringList { "COM1", "COM2", "COM9" } << 1 << QStringLiteral("新添COM9");
    QTest::newRow("current removed, next takes its row")
        << QStringList { "COM1", "COM2", "COM3" } << 1 << QStringList { "COM1", "COM3" }
        << QStringList { "COM1", "COM3" } << 1 << QStringLiteral("COM2移除");
    QTest::newRow("current removed from the end")
        << QStringList { "COM1", "COM2", "COM3" } << 2 << QStringList { "COM1", "COM2" }
        << QStringList { "COM1", "COM2" } << 1 << QStringLiteral("COM3移除");
    QTest::newRow("all replaced") << QStringList { "COM1", "COM2" } << 1 << QStringList { "COM7" }
                                  << QStringList { "COM7" } << 0
                                  << QStringLiteral("COM1移除COM2移除新添COM7");
    QTest::newRow("nothing selected, first taken")
        << QStringList { "COM1", "COM2" } << -1 << QStringList { "COM1", "COM2" }
        << QStringList { "COM1", "COM2" } << 0 << QString();
}

void TestPortList::merge()
{
    QFETCH(QStringList, items);
    QFETCH(int, current);
    QFETCH(QStringList, available);
    QFETCH(QStringList, expectedItems);
    QFETCH(int, expectedCurrent);
    QFETCH(QString, expectedReport);

    const PortListChange change = mergePortList(items, current, available);
    QCOMPARE(change.items, expectedItems);
    QCOMPARE(change.currentIndex, expectedCurrent);
    QCOMPARE(change.report, expectedReport);

    // The window's Refresh applies this same rule to its real selector.
    auto ports = std::make_shared<QStringList>(items);
    MainWindow window([ports] { return *ports; });
    auto *combo = child<QComboBox>(&window, "portnameCombo");
    combo->setCurrentIndex(current);
    *ports = available;
    child<QPushButton>(&window, "detectBtn")->click();
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown.append(combo->itemText(i));
    QCOMPARE(shown, expectedItems);
    QCOMPARE(combo->currentIndex(), expectedCurrent);
    QCOMPARE(child<QLineEdit>(&window, "statusLineEdit")->text(), expectedReport);
}

void TestPortList::refreshButtonAppliesTheMerge()
{
    auto ports = std::make_shared<QStringList>(QStringList { "ttyS0", "ttyS1", "ttyUSB0" });
    {
        MainWindow window([ports] { return *ports; });
        auto *combo = child<QComboBox>(&window, "portnameCombo");
        auto *refresh = child<QPushButton>(&window, "detectBtn");
        auto *status = child<QLineEdit>(&window, "statusLineEdit");

        // The constructor's own refresh filled the list.
        QCOMPARE(combo->count(), 3);
        QCOMPARE(status->text(), QStringLiteral("新添ttyS0新添ttyS1新添ttyUSB0"));

        combo->setCurrentIndex(1);
        *ports = QStringList { "ttyS1", "ttyUSB0", "ttyACM0" };
        refresh->click();
        QCOMPARE(combo->currentText(), QStringLiteral("ttyS1"));
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(2), QStringLiteral("ttyACM0"));
        QCOMPARE(status->text(), QStringLiteral("ttyS0移除新添ttyACM0"));

        refresh->click();
        QCOMPARE(status->text(), QString());
        QCOMPARE(combo->currentText(), QStringLiteral("ttyS1"));

        *ports = QStringList();
        refresh->click();
        QCOMPARE(combo->count(), 0);
        QCOMPARE(status->text(), QStringLiteral("ttyS1移除ttyUSB0移除ttyACM0移除没有可用串口"));

        // A name that changes only in letter case is another port.
        *ports = QStringList { "ttyS0" };
        refresh->click();
        *ports = QStringList { "TTYS0" };
        refresh->click();
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("TTYS0"));
        QCOMPARE(combo->currentText(), QStringLiteral("TTYS0"));
        QCOMPARE(status->text(), QStringLiteral("ttyS0移除新添TTYS0"));
    }
}

QTEST_MAIN(TestPortList)
#include "tst_portlist.moc"
