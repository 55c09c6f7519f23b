#include "historywindow.h"

#include "historyexport.h"
#include "historyintake.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtConcurrent>

#include <qwt_date.h>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_histogram.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

#include <cmath>

namespace {

const char *const ChannelNames[HistoryChannelCount]
    = { QT_TRANSLATE_NOOP("HistoryWindow", "Distance"),
        QT_TRANSLATE_NOOP("HistoryWindow", "Energy"), QT_TRANSLATE_NOOP("HistoryWindow", "Ambient"),
        QT_TRANSLATE_NOOP("HistoryWindow", "Mean of 10") };
// The chart's channel of each: distance 0, energy 1, ambient 3, mean 4.
const int ChartChannel[HistoryChannelCount] = { 0, 1, 3, 4 };
// Distance and its mean on the left axis in mm, the counts on the right.
bool onRight(int channel)
{
    return channel == int(HistoryChannel::Energy) || channel == int(HistoryChannel::Ambient);
}

// The wheel zooms the time about the pointer, forwards in.
class Magnifier : public QwtPlotMagnifier
{
public:
    Magnifier(QWidget *canvas, std::function<void(double, double)> zoom)
        : QwtPlotMagnifier(canvas)
        , m_zoom(std::move(zoom))
    {
        setMouseButton(Qt::NoButton); // the right button draws the zoom box
        setWheelFactor(1 / 0.8);
    }

protected:
    void widgetWheelEvent(QWheelEvent *event) override
    {
        m_anchor = plot()->invTransform(QwtPlot::xBottom, event->position().x());
        m_haveAnchor = true;
        QwtPlotMagnifier::widgetWheelEvent(event);
        m_haveAnchor = false;
    }
    void rescale(double factor) override
    {
        const QwtScaleDiv &div = plot()->axisScaleDiv(QwtPlot::xBottom);
        m_zoom(m_haveAnchor ? m_anchor : (div.lowerBound() + div.upperBound()) / 2, factor);
    }

private:
    std::function<void(double, double)> m_zoom;
    double m_anchor = 0;
    bool m_haveAnchor = false;
};

class Panner : public QwtPlotPanner
{
public:
    Panner(QWidget *canvas, std::function<void(int)> pan)
        : QwtPlotPanner(canvas)
        , m_pan(std::move(pan))
    {
        setAxisEnabled(QwtPlot::yLeft, false);
        setAxisEnabled(QwtPlot::yRight, false);
    }

protected:
    void moveCanvas(int dx, int) override { m_pan(dx); }

private:
    std::function<void(int)> m_pan;
};

class Picker : public QwtPlotPicker
{
public:
    Picker(QWidget *canvas, std::function<QwtText(const QPointF &)> text)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::RectRubberBand,
                        QwtPicker::AlwaysOn, canvas)
        , m_text(std::move(text))
    {
        setStateMachine(new QwtPickerDragRectMachine);
        setMousePattern(QwtEventPattern::MouseSelect1, Qt::RightButton);
        setRubberBandPen(QPen(Qt::yellow));
        setTrackerPen(QPen(Qt::white));
    }

protected:
    QwtText trackerTextF(const QPointF &pos) const override { return m_text(pos); }

private:
    std::function<QwtText(const QPointF &)> m_text;
};

QString number(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

} // namespace

HistoryWindow::HistoryWindow(HistoryIntake *live, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_live(live)
    , m_openDialog([](QWidget *parent, const QString &caption, const QString &proposed,
                      const QString &filter) {
        return QFileDialog::getOpenFileName(parent, caption, proposed, filter);
    })
    , m_saveDialog([](QWidget *parent, const QString &caption, const QString &proposed,
                      const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
    })
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(tr("History"));
    buildPlots();

    connect(&m_timer, &QTimer::timeout, this, &HistoryWindow::tick);
    connect(&m_loader, &RecordingLoader::progress, m_progress, &QProgressBar::setValue);
    connect(&m_loader, &RecordingLoader::finished, this, &HistoryWindow::loadFinished);
    connect(&m_analysis, &QFutureWatcher<Analysis>::finished, this, &HistoryWindow::analysisDone);
    connect(&m_export, &QFutureWatcher<QString>::finished, this, &HistoryWindow::exportDone);
    m_sinceAnalysis.start();
    showLive();
}

HistoryWindow::~HistoryWindow()
{
    // The worker may be reading a store: it ends before the store can go.
    if (m_cancel)
        m_cancel->store(true);
    m_analysis.waitForFinished();
    m_export.waitForFinished();
    if (m_exportHolds)
        m_live->release();
}

void HistoryWindow::buildPlots()
{
    auto *top = new QHBoxLayout;
    auto button = [&](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        top->addWidget(b);
        return b;
    };
    m_open = button("openRecording", tr("Open Recording…"));
    m_liveButton = button("live", tr("Live"));
    m_follow = button("follow", tr("Follow"));
    m_exportCsv = button("exportCsv", tr("Export CSV…"));
    QPushButton *exportImageButton = button("exportImage", tr("Export Image…"));
    for (int c = 0; c < HistoryChannelCount; ++c) {
        m_shown[size_t(c)] = new QCheckBox(tr(ChannelNames[c]), this);
        top->addWidget(m_shown[size_t(c)]);
        connect(m_shown[size_t(c)], &QCheckBox::toggled, this, [this, c](bool on) {
            m_curves[size_t(c)]->setVisible(on);
            m_plot->enableAxis(QwtPlot::yRight,
                               m_shown[size_t(HistoryChannel::Energy)]->isChecked()
                                   || m_shown[size_t(HistoryChannel::Ambient)]->isChecked());
            refresh(true);
        });
    }
    m_clock = new QCheckBox(tr("Clock time"), this);
    m_clock->setObjectName(QStringLiteral("clockTime"));
    top->addWidget(m_clock);
    top->addStretch();

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setTextFormat(Qt::PlainText); // file names are not markup
    m_message->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_cancelLoad = new QPushButton(tr("Cancel"), this);
    m_cancelLoad->setObjectName(QStringLiteral("cancelLoad"));
    auto *loading = new QHBoxLayout;
    loading->addWidget(m_progress);
    loading->addWidget(m_cancelLoad);
    m_progress->hide();
    m_cancelLoad->hide();

    m_plot = new QwtPlot(this);
    m_plot->setObjectName(QStringLiteral("historyPlot"));
    m_plot->setAutoReplot(false);
    m_plot->setCanvasBackground(Qt::black);
    m_plot->enableAxis(QwtPlot::yRight, false); // while no count is shown
    m_plot->setAxisTitle(QwtPlot::yLeft, tr("Distance (mm)"));
    m_plot->setAxisTitle(QwtPlot::yRight, tr("Energy, ambient (counts)"));
    auto *grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(80, 80, 80), 0, Qt::DotLine);
    grid->attach(m_plot);
    for (int c = 0; c < HistoryChannelCount; ++c) {
        auto *curve = new HistoryCurve(tr(ChannelNames[c]), HistoryChannel(c), &m_axis);
        curve->setYAxis(onRight(c) ? QwtPlot::yRight : QwtPlot::yLeft);
        curve->attach(m_plot);
        curve->setVisible(false); // as its box, unchecked
        m_curves[size_t(c)] = curve;
    }
    setLook(ChartLook());

    QWidget *canvas = m_plot->canvas();
    canvas->installEventFilter(this);
    new Magnifier(canvas, [this](double anchor, double factor) { zoomAt(anchor, factor); });
    new Panner(canvas, [this](int dx) { panPixels(dx); });
    auto *picker = new Picker(canvas, [this](const QPointF &pos) {
        const HistoryStore *store = shownStore();
        const qint64 t = m_axis.toTimeUs(pos.x());
        QString text = m_axis.clock
            ? QwtDate::toDateTime(pos.x(), Qt::LocalTime).toString(QStringLiteral("HH:mm:ss.zzz"))
            : number(pos.x(), 3) + QStringLiteral(" s");
        qint64 i = store->lowerBound(t);
        if (i > 0 && (i == store->size() || t - store->at(i - 1).timeUs < store->at(i).timeUs - t))
            --i;
        if (i < store->size()) {
            for (int c = 0; c < HistoryChannelCount; ++c)
                if (m_curves[size_t(c)]->isVisible())
                    text += QStringLiteral("\n%1 %2")
                                .arg(tr(ChannelNames[c]))
                                .arg(number(store->valueAt(HistoryChannel(c), i), 0));
        }
        QwtText shown(text);
        shown.setColor(Qt::white);
        shown.setBackgroundBrush(QColor(0, 0, 0, 160));
        return shown;
    });
    connect(picker, qOverload<const QRectF &>(&QwtPlotPicker::selected), this,
            [this](const QRectF &box) {
                if (box.width() > 0)
                    m_view.show(m_axis.toTimeUs(box.left()), m_axis.toTimeUs(box.right()));
                viewMoved();
            });

    // What is in view: the table, the histogram of distances, the Allan deviation.
    m_table = new QTableWidget(HistoryChannelCount, 5, this);
    m_table->setObjectName(QStringLiteral("statistics"));
    m_table->setHorizontalHeaderLabels(
        { tr("Count"), tr("Mean"), tr("Std"), tr("Min"), tr("Max") });
    QStringList rows;
    for (const char *name : ChannelNames)
        rows << tr(name);
    m_table->setVerticalHeaderLabels(rows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setFixedHeight(m_table->verticalHeader()->length()
                            + m_table->horizontalHeader()->sizeHint().height()
                            + 2 * m_table->frameWidth());
    for (int r = 0; r < HistoryChannelCount; ++r)
        for (int c = 0; c < 5; ++c)
            m_table->setItem(r, c, new QTableWidgetItem);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextFormat(Qt::PlainText);

    m_histogramPlot = new QwtPlot(this);
    m_histogramPlot->setObjectName(QStringLiteral("histogramPlot"));
    m_histogramPlot->setTitle(tr("Distances in view"));
    m_histogramPlot->setAxisTitle(QwtPlot::xBottom, tr("mm"));
    m_histogramPlot->setAxisTitle(QwtPlot::yLeft, tr("frames"));
    m_histogram = new QwtPlotHistogram;
    m_histogram->setStyle(QwtPlotHistogram::Columns);
    m_histogram->setBrush(QColor(Qt::red));
    m_histogram->setPen(QPen(Qt::NoPen));
    m_histogram->attach(m_histogramPlot);
    m_histogramPlot->setMinimumSize(160, 120);

    m_allanPlot = new QwtPlot(this);
    m_allanPlot->setObjectName(QStringLiteral("allanPlot"));
    m_allanPlot->setTitle(tr("Allan deviation (overlapping)"));
    m_allanPlot->setAxisTitle(QwtPlot::xBottom, tr("τ (s)"));
    m_allanPlot->setAxisTitle(QwtPlot::yLeft, tr("σ (mm)"));
    m_allanPlot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLogScaleEngine);
    m_allanPlot->setAxisScaleEngine(QwtPlot::yLeft, new QwtLogScaleEngine);
    m_allanCurve = new QwtPlotCurve;
    m_allanCurve->setPen(QPen(Qt::red, 1));
    m_allanCurve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::red), QPen(Qt::red), QSize(5, 5)));
    m_allanCurve->attach(m_allanPlot);
    m_allanPlot->setMinimumSize(160, 120);

    auto *side = new QWidget(this);
    side->setMinimumWidth(420); // the table's numbers whole
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(m_table);
    sideLayout->addWidget(m_summary);
    sideLayout->addWidget(m_histogramPlot, 1);
    sideLayout->addWidget(m_allanPlot, 1);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_plot);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    auto *hint = new QLabel(tr("Wheel: zoom time · drag: pan · right-drag: zoom to box · "
                               "double-click: show all"),
                            this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_status);
    layout->addWidget(m_message);
    layout->addLayout(loading);
    layout->addWidget(splitter, 1);
    layout->addWidget(hint);
    resize(1300, 720);

    connect(m_open, &QPushButton::clicked, this, [this] {
        const QString path = m_openDialog(this, tr("Open Recording"), m_loadedPath,
                                          tr("Recordings (*.csv);;All files (*)"));
        if (!path.isEmpty())
            openRecording(path);
    });
    connect(m_cancelLoad, &QPushButton::clicked, &m_loader, &RecordingLoader::cancel);
    connect(m_liveButton, &QPushButton::clicked, this, &HistoryWindow::showLive);
    connect(m_follow, &QPushButton::clicked, this, [this] {
        m_view.follow();
        refresh(true);
    });
    connect(m_exportCsv, &QPushButton::clicked, this, [this] { exportWithDialog(false); });
    connect(exportImageButton, &QPushButton::clicked, this, [this] { exportWithDialog(true); });
    connect(m_clock, &QCheckBox::toggled, this, [this](bool on) {
        m_axis.clock = on;
        if (on) {
            m_plot->setAxisScaleDraw(QwtPlot::xBottom, new QwtDateScaleDraw(Qt::LocalTime));
            m_plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
        } else {
            m_plot->setAxisScaleDraw(QwtPlot::xBottom, new QwtScaleDraw);
            m_plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLinearScaleEngine);
        }
        updateMarkers();
        refresh(true);
    });
}

void HistoryWindow::setLook(const ChartLook &look)
{
    for (int c = 0; c < HistoryChannelCount; ++c) {
        const QColor colour = look.colours[size_t(ChartChannel[c])];
        m_curves[size_t(c)]->setColour(colour);
        // A swatch, not coloured text: the energy's white would not be read.
        QPixmap swatch(12, 12);
        swatch.fill(colour);
        QPainter(&swatch).drawRect(0, 0, 11, 11);
        m_shown[size_t(c)]->setIcon(QIcon(swatch));
        m_shown[size_t(c)]->setChecked(look.shown[size_t(ChartChannel[c])]);
    }
    refresh(true);
}

const HistoryStore *HistoryWindow::shownStore() const
{
    static const HistoryStore none(1);
    if (m_loaded)
        return m_loaded.get();
    return m_live ? &m_live->store() : &none;
}

void HistoryWindow::showLive()
{
    m_loaded.reset();
    m_loadedPath.clear();
    setMessage(QString());
    m_liveButton->setEnabled(false);
    m_follow->setVisible(m_live != nullptr);
    storeChanged();
}

void HistoryWindow::openRecording(const QString &path)
{
    m_loadedPath = path;
    setMessage(tr("Loading %1…").arg(QDir::toNativeSeparators(path)));
    m_progress->setValue(0);
    m_progress->show();
    m_cancelLoad->show();
    m_open->setEnabled(false);
    m_loader.load(path);
}

void HistoryWindow::loadFinished(const RecordingLoader::Result &result)
{
    m_progress->hide();
    m_cancelLoad->hide();
    m_open->setEnabled(true);
    const QString name = QFileInfo(m_loadedPath).fileName();
    if (result.cancelled) {
        setMessage(tr("Loading %1 was cancelled.").arg(name));
    } else if (!result.store) {
        setMessage(result.message());
    } else {
        m_loaded = result.store;
        m_liveButton->setEnabled(true);
        m_follow->hide();
        setMessage(result.message());
        storeChanged();
    }
    emit loaded();
}

void HistoryWindow::setMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

QString HistoryWindow::message() const
{
    return m_message->text();
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    m_timer.start(100);
    refresh(true);
    QWidget::showEvent(event);
}

void HistoryWindow::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

bool HistoryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_plot->canvas() && event->type() == QEvent::MouseButtonDblClick) {
        m_view.showAll();
        viewMoved();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void HistoryWindow::zoomAt(double axisValue, double factor)
{
    m_view.zoom(m_axis.toTimeUs(axisValue), factor);
    viewMoved();
}

void HistoryWindow::panPixels(int dx)
{
    if (dx == 0)
        return; // a click, not a pan: following goes on
    const int width = qMax(1, m_plot->canvas()->width());
    m_view.pan(-(m_view.t1Us() - m_view.t0Us()) * dx / width);
    viewMoved();
}

void HistoryWindow::viewMoved()
{
    // The running analysis is for a view no longer shown.
    if (m_cancel)
        m_cancel->store(true);
    refresh(true);
    startAnalysis();
}

void HistoryWindow::tick()
{
    refresh(false);
    // Following live frames, the view changes on every tick: its histogram
    // and Allan deviation once a second are enough.
    if (m_analysisDue && (!isLive() || !m_view.isFollowing() || m_sinceAnalysis.elapsed() >= 1000))
        startAnalysis();
}

void HistoryWindow::refresh(bool force)
{
    const HistoryStore *store = shownStore();
    if (isLive())
        m_view.setHeld(store->firstTimeUs(), store->lastTimeUs());
    if (!isVisible())
        return;
    const bool viewMoved = m_view.t0Us() != m_shownT0 || m_view.t1Us() != m_shownT1;
    const bool storeMoved
        = store->size() != m_shownSize || store->droppedFrames() != m_shownDropped;
    // New frames land in view only if it reaches past the newest shown before;
    // dropped ones leave it only if it starts before the oldest held now. A
    // view into the past stays as it is, and so do its statistics.
    const bool inView
        = storeMoved && (m_view.t1Us() - 1 > m_shownLastUs || store->firstTimeUs() > m_view.t0Us());
    if (force || storeMoved)
        updateStatus();
    m_shownSize = store->size();
    m_shownDropped = store->droppedFrames();
    m_shownLastUs = store->lastTimeUs();
    if (!force && !viewMoved && !inView)
        return;
    m_shownT0 = m_view.t0Us();
    m_shownT1 = m_view.t1Us();
    const ViewStats stats = store->stats(m_view.t0Us(), m_view.t1Us());
    updateStats(stats);
    applyAxes();
    // Drawn by the stats' ranges: each axis spans what its shown channels reach in view.
    for (int axis : { QwtPlot::yLeft, QwtPlot::yRight }) {
        double lo = 0, hi = 0;
        bool any = false;
        for (int c = 0; c < HistoryChannelCount; ++c) {
            const ChannelStats &s = stats.channels[size_t(c)];
            if (!m_curves[size_t(c)]->isVisible() || s.count == 0
                || (axis == QwtPlot::yRight) != onRight(c))
                continue;
            lo = any ? qMin(lo, s.min) : s.min;
            hi = any ? qMax(hi, s.max) : s.max;
            any = true;
        }
        const double margin = qMax(1.0, (hi - lo) * 0.05);
        m_plot->setAxisScale(axis, lo - margin, hi + margin);
    }
    m_plot->replot();
    m_analysisDue = true;
}

void HistoryWindow::applyAxes()
{
    m_plot->setAxisTitle(QwtPlot::xBottom, m_axis.clock ? tr("Clock time") : tr("Time (s)"));
    m_plot->setAxisScale(QwtPlot::xBottom, m_axis.toAxis(m_view.t0Us()),
                         m_axis.toAxis(m_view.t1Us()));
    m_follow->setEnabled(!m_view.isFollowing());
}

void HistoryWindow::storeChanged()
{
    if (m_cancel)
        m_cancel->store(true); // of the store no longer shown
    const HistoryStore *store = shownStore();
    for (HistoryCurve *curve : m_curves)
        curve->setStore(store);
    // Clock time only where the run's start is known.
    const bool clock = store->startUtc.isValid();
    m_axis.originMs = clock ? QwtDate::toDouble(store->startUtc) : 0;
    m_clock->setEnabled(clock);
    if (!clock)
        m_clock->setChecked(false);
    // A recording's events before its first frame or after its last (open,
    // close) are part of what "all" shows.
    qint64 first = store->firstTimeUs(), last = store->lastTimeUs();
    for (const HistoryEvent &event : isLive() ? std::vector<HistoryEvent>() : store->events) {
        first = qMin(first, event.timeUs);
        last = qMax(last, event.timeUs);
    }
    m_view.setHeld(first, last);
    m_view.showAll();
    updateMarkers();
    refresh(true);
}

void HistoryWindow::updateStats(const ViewStats &stats)
{
    for (int r = 0; r < HistoryChannelCount; ++r) {
        const ChannelStats &s = stats.channels[size_t(r)];
        const bool any = s.count > 0;
        const QString cells[5]
            = { QString::number(s.count), any ? number(s.mean, 2) : QString(),
                any ? number(s.stdDev, 2) : QString(), any ? number(s.min, 0) : QString(),
                any ? number(s.max, 0) : QString() };
        for (int c = 0; c < 5; ++c)
            m_table->item(r, c)->setText(cells[c]);
    }
    m_summary->setText(tr("%1 frames over %2 s; distance noise %3 mm")
                           .arg(stats.frames)
                           .arg(number(stats.spanSeconds, 3))
                           .arg(number(stats.distanceNoise, 2)));
}

void HistoryWindow::updateStatus()
{
    const HistoryStore *store = shownStore();
    const double mb = double(store->size()) * HistoryStore::BytesPerFrame / 1e6;
    QString text = isLive()
        ? tr("Live: %1 frames since start-up").arg(store->size())
        : tr("%1: %2 frames").arg(QFileInfo(m_loadedPath).fileName()).arg(store->size());
    text += tr(" (%1 bytes each, %2 MB)")
                .arg(number(HistoryStore::BytesPerFrame, 1))
                .arg(number(mb, 1));
    if (store->droppedFrames() > 0) {
        // Beyond the limit the oldest go: say from when what is held begins.
        const qint64 first = store->firstTimeUs();
        QString since = number(double(first) / 1e6, 1) + tr(" s");
        if (store->startUtc.isValid())
            since += QStringLiteral(" (%1)").arg(store->startUtc.addMSecs(first / 1000)
                                                     .toLocalTime()
                                                     .toString(QStringLiteral("HH:mm:ss")));
        text += tr("; holds data from %1 on, %2 older frames dropped (limit %3)")
                    .arg(since)
                    .arg(store->droppedFrames())
                    .arg(store->capacity());
    }
    m_status->setText(text);
}

void HistoryWindow::updateMarkers()
{
    for (QwtPlotMarker *marker : m_markers)
        delete marker; // detaches itself
    m_markers.clear();
    for (const HistoryEvent &event : shownStore()->events) {
        auto *marker = new QwtPlotMarker(event.name);
        marker->setLineStyle(QwtPlotMarker::VLine);
        marker->setLinePen(QColor(Qt::yellow), 0, Qt::DashLine);
        marker->setXValue(m_axis.toAxis(event.timeUs));
        QwtText label(event.detail.isEmpty() ? event.name
                                             : event.name + QStringLiteral(": ") + event.detail);
        label.setColor(Qt::yellow);
        marker->setLabel(label);
        marker->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
        marker->setLabelOrientation(Qt::Vertical);
        marker->attach(m_plot);
        m_markers.append(marker);
    }
}

void HistoryWindow::startAnalysis()
{
    m_analysisDue = true;
    if (m_analysis.isRunning())
        return; // analysisDone starts the next
    m_analysisDue = false;
    m_sinceAnalysis.restart();
    const HistoryStore *store = shownStore();
    const ViewStats stats = store->stats(m_view.t0Us(), m_view.t1Us());
    const ChannelStats &d = stats.channels[size_t(HistoryChannel::Distance)];
    // Whole millimetres: one bin per value while they fit.
    const int bins = int(qBound(1.0, d.max - d.min + 1, 100.0));
    const double lo = d.min - 0.5, hi = d.max + 0.5;
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    // The view's distances stay whole while the live store goes on.
    m_analysis.setFuture(QtConcurrent::run(
        [view = store->distances(m_view.t0Us(), m_view.t1Us()), bins, lo, hi, cancel] {
            Analysis a;
            a.lo = lo;
            a.hi = hi;
            a.bins = distanceHistogram(view, bins, lo, hi, cancel.get());
            a.allan = allanDeviation(view, cancel.get());
            return a;
        }));
}

void HistoryWindow::analysisDone()
{
    const Analysis a = m_analysis.result();
    if (!m_cancel->load()) {
        QVector<QwtIntervalSample> bars;
        const double width = a.bins.empty() ? 0 : (a.hi - a.lo) / double(a.bins.size());
        for (size_t i = 0; i < a.bins.size(); ++i)
            bars.append(QwtIntervalSample(double(a.bins[i]), a.lo + width * double(i),
                                          a.lo + width * double(i + 1)));
        m_histogram->setSamples(bars);
        m_histogramPlot->replot();
        QVector<QPointF> points;
        for (const AllanPoint &p : a.allan)
            if (p.deviation > 0)
                points.append(QPointF(p.tauSeconds, p.deviation));
        m_allanCurve->setSamples(points);
        m_allanPlot->replot();
        emit analysed();
    }
    if (m_analysisDue && (!isLive() || !m_view.isFollowing()))
        startAnalysis();
}

void HistoryWindow::exportCsv(const QString &path)
{
    if (m_export.isRunning())
        return;
    std::shared_ptr<HistoryStore> keep = m_loaded; // lives while the worker reads it
    const HistoryStore *store = shownStore();
    const qint64 t0 = m_view.t0Us(), t1 = m_view.t1Us();
    m_exportHolds = !keep && m_live;
    if (m_exportHolds)
        m_live->hold();
    m_exportPath = path;
    m_exportCsv->setEnabled(false);
    setMessage(tr("Saving %1…").arg(QDir::toNativeSeparators(path)));
    m_export.setFuture(QtConcurrent::run([store, keep, t0, t1, path] {
        QString error;
        return writeHistoryCsv(*store, t0, t1, path, &error) ? QString() : error;
    }));
}

void HistoryWindow::exportDone()
{
    if (m_exportHolds)
        m_live->release();
    m_exportHolds = false;
    m_exportCsv->setEnabled(true);
    const QString error = m_export.result();
    setMessage(error.isEmpty() ? tr("Saved %1.").arg(QDir::toNativeSeparators(m_exportPath))
                               : error);
    emit exported(error.isEmpty());
}

bool HistoryWindow::exportImage(const QString &path)
{
    QwtPlotRenderer renderer;
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool ok = false;
    if (suffix == QLatin1String("svg")) {
        QFile::remove(path);
        // 96 dpi: the plot's size on screen.
        const QSizeF mm = QSizeF(m_plot->size()) * 25.4 / 96;
        renderer.renderDocument(m_plot, path, QStringLiteral("svg"), mm, 96);
        ok = QFileInfo(path).size() > 0;
    } else {
        QImage image(m_plot->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        renderer.renderTo(m_plot, image);
        ok = image.save(path, "PNG");
    }
    setMessage(ok ? tr("Saved %1.").arg(QDir::toNativeSeparators(path))
                  : tr("%1: could not be written.").arg(QDir::toNativeSeparators(path)));
    return ok;
}

void HistoryWindow::exportWithDialog(bool image)
{
    const QString path = image
        ? m_saveDialog(this, tr("Export Image"), QStringLiteral("history.png"),
                       tr("PNG image (*.png);;SVG image (*.svg)"))
        : m_saveDialog(this, tr("Export CSV"), QStringLiteral("history.csv"),
                       tr("Recordings (*.csv)"));
    if (path.isEmpty())
        return;
    if (image)
        exportImage(path);
    else
        exportCsv(path);
}
