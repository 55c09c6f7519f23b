#pragma once

// Helpers shared by the widget tests.

#include "chart.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

namespace guitest {

using namespace testsupport; // the widget tests use the Core helpers as their own

inline QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
}

// Leaves no config.ini (file or directory) beside the test program.
inline void removeConfig()
{
    const QString path = configPath();
    QDir dir(path);
    if (dir.exists())
        dir.removeRecursively();
    QFile::remove(path);
}

inline void writeConfig(const QByteArray &content)
{
    writeFile(configPath(), content);
}

// One of the window's actions, by its object name.
inline QAction *windowAction(const MainWindow &window, const char *name)
{
    auto *action = window.findChild<QAction *>(QLatin1String(name));
    if (!action)
        qFatal("no action %s", name);
    return action;
}

// A file's whole content; empty when there is none.
inline QByteArray fileContent(const QString &path)
{
    return readFile(path);
}

// A window on a fixed port list, empty unless given: nothing depends on the
// machine's ports.
inline std::unique_ptr<MainWindow> makeWindow(const QStringList &ports = {})
{
    return std::make_unique<MainWindow>([ports] { return ports; });
}

// Shows the window and waits until it is on screen.
inline bool showExposed(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

// The child of that name (with none given, of that type). A missing one ends
// the program: every step after the look-up would use it.
template<typename T>
T *child(const QObject *parent, const QString &name = QString())
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("%s \"%s\" has no %s named \"%s\"", parent->metaObject()->className(),
               qPrintable(parent->objectName()), T::staticMetaObject.className(), qPrintable(name));
    return found;
}

// Closes every modal message box shortly after it appears and notes what it
// said, so a test never blocks on one.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == m_last)
                return;
            m_last = box;
            if (whileUp)
                whileUp();
            titles.append(box->windowTitle());
            texts.append(box->text());
            box->done(QMessageBox::Ok);
        });
        m_timer.start(10);
    }
    std::function<void()> whileUp; // called while each box is still up
    QStringList titles;
    QStringList texts;

private:
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

// Paints the chart alone on black, the way the form shows it minus the blue:
// the background is not the chart's own drawing.
inline QImage paintChart(Chart &chart)
{
    chart.setAutoFillBackground(false);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    chart.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// True where a pixel is mostly the given pure colour (red, green, ...) rather
// than the grey of the grid or black.
inline bool isHue(QRgb pixel, const QColor &colour)
{
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    const int cr = colour.red(), cg = colour.green(), cb = colour.blue();
    // Pixel components must follow the colour's pattern: high where the colour
    // is high, low where it is low, with a clear gap between.
    int high = 255, low = 0;
    if (cr > 128)
        high = qMin(high, r);
    else
        low = qMax(low, r);
    if (cg > 128)
        high = qMin(high, g);
    else
        low = qMax(low, g);
    if (cb > 128)
        high = qMin(high, b);
    else
        low = qMax(low, b);
    return high - low > 80;
}

inline int countHue(const QImage &image, const QColor &colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += isHue(image.pixel(x, y), colour) ? 1 : 0;
    return n;
}

// Pixels within a small distance of the colour itself: a blend of two curve
// colours, or of a curve with the grid, is too far from either.
inline int countNear(const QImage &image, const QColor &colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int distance = qAbs(qRed(p) - colour.red()) + qAbs(qGreen(p) - colour.green())
                + qAbs(qBlue(p) - colour.blue());
            n += distance < 120 ? 1 : 0;
        }
    return n;
}

// Any pixel that is not grey: grid and texts are white, so greys only.
inline int countColoured(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int spread = qMax(qRed(p), qMax(qGreen(p), qBlue(p)))
                - qMin(qRed(p), qMin(qGreen(p), qBlue(p)));
            n += spread > 30 ? 1 : 0;
        }
    return n;
}

inline bool isLit(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel) > 30;
}

} // namespace guitest
