// CounterText: a count that changes often without relaying out the window.

#include "countertext.h"
#include "guitest.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace guitest;

namespace {

// A row like the window's Rx row: a caption, the count, and a line edit
// that takes the room left over unless told not to.
struct CountRow : QWidget
{
    explicit CountRow(bool editTakesTheRoom)
    {
        auto *layout = new QHBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Rx:")));
        layout->addWidget(count = new QLabel(QStringLiteral("0")));
        auto *edit = new QLineEdit;
        if (!editTakesTheRoom)
            edit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(edit);
        layout->addWidget(new QComboBox);
        resize(500, 40);
    }
    bool event(QEvent *e) override
    {
        layoutRequests += e->type() == QEvent::LayoutRequest;
        return QWidget::event(e);
    }
    QLabel *count = nullptr;
    int layoutRequests = 0;
};

} // namespace

class TestCounterText : public QObject
{
    Q_OBJECT

private slots:
    void counterKeepsTheLayout_data();
    void counterKeepsTheLayout();
};

void TestCounterText::counterKeepsTheLayout_data()
{
    QTest::addColumn<QStringList>("texts"); // "font" makes both rows' font larger
    QTest::addColumn<bool>("editTakesTheRoom");
    QTest::addColumn<bool>("heldAtEnd");
    QTest::newRow("same width") << QStringList { "10", "11", "12", "13" } << true << true;
    QTest::newRow("a digit more, then fewer")
        << QStringList { "98", "99", "100", "101", "99" } << true << false;
    QTest::newRow("letters, not digits") << QStringList { "10", "11", "WW", "ii" } << true << false;
    QTest::newRow("font change") << QStringList { "10", "11", "font", "12", "13" } << true << true;
    QTest::newRow("label wider than its text")
        << QStringList { "10", "11", "12" } << false << false;
}

void TestCounterText::counterKeepsTheLayout()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, editTakesTheRoom);
    QFETCH(bool, heldAtEnd);
    CountRow counted(editTakesTheRoom), plain(editTakesTheRoom);
    QVERIFY(showExposed(&counted));
    QVERIFY(showExposed(&plain));
    CounterText counter(counted.count);

    for (const QString &text : texts) {
        const bool wasHeld = counter.isHeld();
        counted.layoutRequests = 0;
        if (text == QLatin1String("font")) {
            QFont larger = counted.font();
            larger.setPointSize(larger.pointSize() + 4);
            counted.setFont(larger);
            plain.setFont(larger);
        } else {
            counter.setText(text);
            plain.count->setText(text);
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        // Every widget where a plain label would have put it.
        const auto mine = counted.findChildren<QWidget *>(),
                   theirs = plain.findChildren<QWidget *>();
        for (int k = 0; k < mine.size(); ++k)
            QCOMPARE(mine.at(k)->geometry(), theirs.at(k)->geometry());
        QCOMPARE(counted.count->text(), plain.count->text());
        if (wasHeld && counter.isHeld())
            QCOMPARE(counted.layoutRequests, 0);
    }
    QCOMPARE(counter.isHeld(), heldAtEnd);
}

QTEST_MAIN(TestCounterText)
#include "tst_countertext.moc"
