// Cost of one full repaint of the History window's plot at 1920x1080, the
// distance and its 10-sample mean shown over everything held, for runs of
// 1e4 to 1.3e7 frames (two hours at 1800 Hz). The plot asks the store for one
// minimum and maximum per pixel column, so the cost should hardly grow.

#include "historyintake.h"
#include "historywindow.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>

namespace {

// One store per size, filled once: a slow swing with noise at 1800 Hz.
HistoryIntake &intakeOf(qint64 frames)
{
    struct Held
    {
        HistoryStore store;
        HistoryIntake intake { &store };
    };
    static std::map<qint64, std::unique_ptr<Held>> made;
    std::unique_ptr<Held> &held = made[frames];
    if (!held) {
        held = std::make_unique<Held>();
        quint32 random = 12345;
        for (qint64 i = 0; i < frames; ++i) {
            random = random * 1664525u + 1013904223u;
            const int noise = int(random >> 24) % 7 - 3;
            const int distance = int(2750 + 1250 * std::sin(double(i) / 200000.0)) + noise;
            held->store.append(i * 1000000 / 1800, quint16(distance), quint8(60 + noise),
                               quint8(5));
        }
    }
    return held->intake;
}

void repaint(benchmark::State &state)
{
    const qint64 frames = state.range(0);
    HistoryWindow window(&intakeOf(frames));
    window.setLook(ChartLook()); // distance and mean shown
    window.show();
    QApplication::processEvents();
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    QwtPlotRenderer renderer;
    {
        QPainter painter(&image); // fonts and the store's pages warmed outside the timing
        renderer.render(window.plot(), &painter, QRectF(image.rect()));
    }
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        renderer.render(window.plot(), &painter, QRectF(image.rect()));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::to_string(frames) + " frames");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("HistoryRepaint/1920x1080", repaint)
        ->Arg(10000)
        ->Arg(100000)
        ->Arg(1000000)
        ->Arg(10000000)
        ->Arg(13000000)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
