// The about window opened from the main window, its life as a top-level
// window of its own, and the resources compiled into the program.

#include "aboutqt.h"
#include "guitest.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextCodec>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <set>

using namespace guitest;

namespace {

QList<AboutQT *> aboutWindows()
{
    QList<AboutQT *> windows;
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (auto *about = qobject_cast<AboutQT *>(widget))
            windows.append(about);
    return windows;
}

void clickAbout(MainWindow &window)
{
    QTest::mouseClick(child<QPushButton>(&window, "pushButton"), Qt::LeftButton);
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfig(); }
    void cleanup();

    void eachClickOpensAnotherWindow();
    void aboutTextNamesTheRunningQt();
    void closedWindowIsDeleted();
    void applicationRunsUntilAboutWindowClosed();
    void iconHoldsSixSizes();
    void iconFileLayout();
    void readMeIsUtf8WithBomAndCrlf();
};

void TestAbout::cleanup()
{
    qDeleteAll(aboutWindows());
    removeConfig();
}

void TestAbout::eachClickOpensAnotherWindow()
{
    const auto window = makeWindow();
    QVERIFY(showExposed(window.get()));
    QVERIFY(aboutWindows().isEmpty());

    clickAbout(*window);
    clickAbout(*window);
    const QList<AboutQT *> windows = aboutWindows();
    QCOMPARE(windows.size(), 2);
    QVERIFY(windows.at(0) != windows.at(1));
    for (AboutQT *about : windows) {
        QVERIFY(about->isVisible());
        QVERIFY(about->isWindow());
        QVERIFY(!about->parent());
        QVERIFY(!about->isModal());
        QVERIFY(about->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(about->windowTitle(), QStringLiteral("About QT"));
        QCOMPARE(about->size(), QSize(906, 431));
    }
    // The main window stays usable: not blocked by a modal about box.
    QVERIFY(!QApplication::activeModalWidget());
}

void TestAbout::aboutTextNamesTheRunningQt()
{
    AboutQT about;
    QVERIFY(showExposed(&about));
    auto *label = child<QLabel>(&about, "label");
    QVERIFY(label->wordWrap());
    const QString text = label->text();
    const QStringList paragraphs = text.split(QStringLiteral("\n\n"));
    QCOMPARE(paragraphs.size(), 9);
    QCOMPARE(paragraphs.at(0), QStringLiteral("About Qt"));
    QVERIFY2(paragraphs.at(1).contains(QString::fromLatin1(qVersion())),
             qPrintable(paragraphs.at(1)));
    QVERIFY(!paragraphs.at(1).contains(QLatin1String("5.14"))
            || QByteArray(qVersion()).startsWith("5.14"));
    QVERIFY(text.contains(QLatin1String("LGPL")) && text.contains(QLatin1String("GPL")));

    // The label fills the window and wraps to its width.
    QTRY_VERIFY(label->width() > 850);
    about.resize(300, 800);
    QTRY_VERIFY(label->width() < 300);
    QVERIFY(label->heightForWidth(280) > label->heightForWidth(880));
}

void TestAbout::closedWindowIsDeleted()
{
    const auto window = makeWindow();
    window->show();
    clickAbout(*window);
    clickAbout(*window);
    QCOMPARE(aboutWindows().size(), 2);

    QPointer<AboutQT> first = aboutWindows().at(0);
    QPointer<AboutQT> second = aboutWindows().at(1);
    QVERIFY(first->close());
    QTRY_VERIFY(first.isNull());
    QVERIFY(second);
    QCOMPARE(aboutWindows().size(), 1);
}

void TestAbout::applicationRunsUntilAboutWindowClosed()
{
    QVERIFY(QApplication::quitOnLastWindowClosed());
    // The toolkit decides about quitting only inside its event loop, so the
    // closing is played out inside exec().
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    auto window = makeWindow();
    window->show();
    QPointer<AboutQT> about;
    bool runningAfterMainClosed = false;
    bool aboutClosed = false;
    bool timedOut = false;

    QTimer::singleShot(50, window.get(), [&] {
        clickAbout(*window);
        about = aboutWindows().value(0);
    });
    QTimer::singleShot(150, window.get(), [&] { window->close(); });
    QTimer::singleShot(400, window.get(), [&] {
        runningAfterMainClosed = lastClosed.isEmpty();
        aboutClosed = about && about->close();
    });
    QTimer guard; // stops with this function, unlike a single shot
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QApplication::quit();
    });
    guard.start(5000);
    QCOMPARE(QApplication::exec(), 0);

    QVERIFY(!timedOut);
    QVERIFY(runningAfterMainClosed);
    QVERIFY(aboutClosed);
    QCOMPARE(lastClosed.count(), 1);
    QTRY_VERIFY(about.isNull());
    window.reset();
    QVERIFY(QFile::exists(configPath())); // saved when the main window closed
}

void TestAbout::iconHoldsSixSizes()
{
    // The resources are the program's: a main window makes sure they are there,
    // whichever test runs first.
    const auto window = makeWindow();
    QImageReader reader(QStringLiteral(":/icon/icon.ico"));
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), 6);
    std::multiset<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        sizes.insert(image.width());
    }
    QCOMPARE(sizes, (std::multiset<int> { 16, 32, 48, 64, 128, 256 }));

    // The main window wears it.
    const QList<QSize> available = window->windowIcon().availableSizes();
    for (int side : { 16, 32, 48, 64, 128, 256 })
        QVERIFY2(available.contains(QSize(side, side)), qPrintable(QString::number(side)));
}

void TestAbout::iconFileLayout()
{
    // The icon directory itself: six 32-bit entries, the largest stored as PNG.
    const auto window = makeWindow();
    const QByteArray data = readFile(QStringLiteral(":/icon/icon.ico"));
    QVERIFY(data.size() > 6 + 6 * 16);
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(6));
    bool pngSeen = false;
    for (int i = 0; i < 6; ++i) {
        const uchar *entry = bytes + 6 + 16 * i;
        const int side = entry[0] == 0 ? 256 : entry[0];
        QCOMPARE(qFromLittleEndian<quint16>(entry + 6), quint16(32));
        const quint32 length = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        QVERIFY(quint64(offset) + length <= quint64(data.size()));
        const bool png = data.mid(int(offset), 8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
        if (side == 256) {
            QVERIFY(png);
            pngSeen = true;
        }
    }
    QVERIFY(pngSeen);
}

void TestAbout::readMeIsUtf8WithBomAndCrlf()
{
    const auto window = makeWindow();
    const QByteArray data = readFile(QStringLiteral(":/info/ReadMe.txt"));
    QVERIFY(data.startsWith("\xEF\xBB\xBF"));
    QVERIFY(data.contains("\r\n"));
    QCOMPARE(data.count('\n'), data.count("\r\n"));

    QTextCodec::ConverterState state;
    const QString text
        = QTextCodec::codecForName("UTF-8")->toUnicode(data.constData(), data.size(), &state);
    QCOMPARE(state.invalidChars, 0);
    const bool chinese = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF;
    });
    QVERIFY(chinese);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
