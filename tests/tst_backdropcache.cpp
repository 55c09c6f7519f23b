// BackdropCache: a group box answering its children's repaints from an image.

#include "backdropcache.h"
#include "guitest.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>

#include <array>

using namespace guitest;

namespace {

// A readout in a group box, as in the window's channel panel, twice side by
// side: the left box with a backdrop cache, the right one without.
struct BoxedReadouts : QWidget
{
    BoxedReadouts()
    {
        auto *layout = new QHBoxLayout(this);
        for (int k = 0; k < 2; ++k) {
            layout->addWidget(boxes[k] = new QGroupBox);
            (new QHBoxLayout(boxes[k]))->addWidget(edits[k] = new QLineEdit(QStringLiteral("1")));
            edits[k]->setFocusPolicy(Qt::NoFocus); // no cursor, no focus frame on one only
        }
        resize(400, 120);
    }
    // The two boxes as the window holds them on screen, after the repaints
    // asked for.
    std::array<QImage, 2> onScreen()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QImage window = screen()->grabWindow(winId()).toImage();
        return { window.copy(boxes[0]->geometry()), window.copy(boxes[1]->geometry()) };
    }
    std::array<QGroupBox *, 2> boxes {};
    std::array<QLineEdit *, 2> edits {};
};

} // namespace

class TestBackdropCache : public QObject
{
    Q_OBJECT

private slots:
    void boxRepaintsFromItsBackdrop_data();
    void boxRepaintsFromItsBackdrop();
};

void TestBackdropCache::boxRepaintsFromItsBackdrop_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : { "text", "title", "resize", "disable", "palette" })
        QTest::newRow(change) << QString::fromLatin1(change);
}

void TestBackdropCache::boxRepaintsFromItsBackdrop()
{
    QFETCH(QString, change);
    BoxedReadouts readouts;
    auto *cache = new BackdropCache(readouts.boxes[0]);
    QVERIFY(showExposed(&readouts));
    QTRY_VERIFY(cache->isReady());

    for (QGroupBox *box : readouts.boxes) {
        if (change == QLatin1String("title"))
            box->setTitle(QStringLiteral("Readouts"));
        else if (change == QLatin1String("disable"))
            box->setEnabled(false);
        else if (change == QLatin1String("palette"))
            box->setPalette(QPalette(Qt::darkGreen));
    }
    if (change == QLatin1String("resize"))
        readouts.resize(460, 90);
    // After the change, a few texts: each repaints the line edits alone.
    for (const char *text : { "22", "333", "4" }) {
        for (QLineEdit *edit : readouts.edits)
            edit->setText(QString::fromLatin1(text));
        const auto boxes = readouts.onScreen();
        QCOMPARE(boxes[0], boxes[1]);
    }
    QVERIFY(cache->answered() > 0);
}

QTEST_MAIN(TestBackdropCache)
#include "tst_backdropcache.moc"
