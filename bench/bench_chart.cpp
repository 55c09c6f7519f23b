// Cost of one chart repaint: grid, texts and all five curves over full
// 500-sample series, with the form's blue style-sheet background. Each case
// also names its rendered frame by a hash of its pixels, so that builds can be
// compared pixel for pixel.

#include "chart.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QImage>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

QSize formChartSize; // measured from a main window at the form's size

enum class Data {
    Target, // a target moving slowly, with a few mm of noise; flickering ambient light
    Noise, // every curve jumps across the full height from sample to sample
};

quint32 nextRandom(quint32 &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// 600 frames, so that every series is full and has scrolled; all five
// curves shown. Temperature stays 0, as no frame carries it.
void fill(Chart &chart, Data data)
{
    quint32 state = 12345;
    auto noise = [&state](int span) {
        return float(nextRandom(state) % quint32(span));
    };
    for (int i = 0; i < 600; ++i) {
        float distance, energy, ambient;
        if (data == Data::Target) {
            // About a quarter of a slow swing across 500 frames.
            distance = float(qRound(2750 + 1250 * std::sin(i / 320.0))) + noise(7) - 3;
            energy = float(qRound(220 * (1500 / distance) * (1500 / distance))) + noise(3);
            ambient = 5 + noise(4);
        } else {
            distance = 1500 + noise(200);
            energy = 30000 + noise(5000);
            ambient = 400 + noise(50);
        }
        chart.model().addSample(0, distance);
        chart.model().addSample(1, energy);
        chart.model().addSample(2, 0);
        chart.model().addSample(3, ambient);
    }
    chart.changeLook([](ChartLook &look) {
        for (int i = 0; i < 5; ++i)
            look.shown[size_t(i)] = true;
    });
}

void repaint(benchmark::State &state, QSize size, Data data)
{
    Chart chart;
    // As the form sets it up: blue background from the style sheet.
    chart.setAutoFillBackground(false);
    chart.setStyleSheet(QStringLiteral("background-color: rgb(0, 0, 0);\n"
                                       "background-color: rgb(2, 69, 255);"));
    chart.resize(size);
    fill(chart, data);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    chart.render(&image); // styles polished outside the timing

    for (auto _ : state) {
        chart.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    // The frame's fingerprint: a change meant to keep the pixels must keep it.
    const QByteArray pixels(reinterpret_cast<const char *>(image.constBits()),
                            int(image.sizeInBytes()));
    const QByteArray frame = QCryptographicHash::hash(pixels, QCryptographicHash::Sha1).toHex();
    state.SetLabel(QStringLiteral("%1x%2 frame %3")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(QString::fromLatin1(frame.left(12)))
                       .toStdString());
}

QSize measureFormChartSize()
{
    MainWindow window([] { return QStringList(); });
    window.resize(711, 401);
    window.show();
    QApplication::processEvents();
    return window.findChild<Chart *>(QStringLiteral("chart"))->size();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    formChartSize = measureFormChartSize();

    const struct
    {
        const char *name;
        Data data;
    } kinds[] = { { "target", Data::Target }, { "noise", Data::Noise } };
    for (const auto &kind : kinds) {
        const Data data = kind.data;
        benchmark::RegisterBenchmark(
            (std::string("ChartRepaint/form size/") + kind.name).c_str(),
            [data](benchmark::State &s) { repaint(s, formChartSize, data); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(
            (std::string("ChartRepaint/1920x1080/") + kind.name).c_str(),
            [data](benchmark::State &s) { repaint(s, QSize(1920, 1080), data); })
            ->Unit(benchmark::kMicrosecond);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
