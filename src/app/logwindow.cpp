#include "logwindow.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>

namespace {
const char Group[] = "Log";
const char FramesKey[] = "Frames";
} // namespace

LogWindow::LogWindow(QWidget *owner, QSettings *settings)
    : QWidget(owner, Qt::Window)
    , m_settings(settings)
    , m_measure(new QAction(tr("&Measure Point"), owner))
    , m_reference(new QLineEdit(this))
    , m_frames(new QLineEdit(this))
    , m_cancel(new QPushButton(tr("Cancel"), this))
    , m_progress(new QProgressBar(this))
    , m_status(new QLabel(this))
    , m_table(new QTableView(this))
    , m_plot(new QwtPlot(this))
    , m_curve(new QwtPlotCurve(tr("error")))
{
    setWindowTitle(tr("Measurement Log"));
    setObjectName(QStringLiteral("logWindow"));
    m_measure->setObjectName(QStringLiteral("actionMeasurePoint"));
    m_measure->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_measure->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(m_measure);
    addAction(m_measure); // its key works here too
    connect(m_measure, &QAction::triggered, this, &LogWindow::measurePoint);

    if (m_settings) {
        m_settings->beginGroup(QLatin1String(Group));
        const QString stored = m_settings->value(QLatin1String(FramesKey)).toString();
        m_settings->endGroup();
        QString message;
        if (!stored.isEmpty() && !MeasurementLog::readFrames(stored, &m_savedFrames, &message)) {
            m_savedFrames = PointAverager::DefaultFrames;
            say(tr("config.ini [Log]: %1 %2 are used.").arg(message).arg(m_savedFrames));
        }
    }
    m_frames->setText(QString::number(m_savedFrames));
    m_reference->setObjectName(QStringLiteral("reference"));
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_status->setObjectName(QStringLiteral("status"));
    m_frames->setObjectName(QStringLiteral("frames"));
    m_reference->setPlaceholderText(tr("none"));

    auto *measure = new QPushButton(tr("Measure Point"), this);
    connect(measure, &QPushButton::clicked, m_measure, &QAction::trigger);
    connect(m_cancel, &QPushButton::clicked, this, &LogWindow::cancelPoint);
    auto *copy = new QPushButton(tr("Copy"), this);
    auto *saveCsv = new QPushButton(tr("Save CSV…"), this);
    auto *clear = new QPushButton(tr("Clear"), this);
    connect(copy, &QPushButton::clicked, this, &LogWindow::copyLog);
    connect(saveCsv, &QPushButton::clicked, this, &LogWindow::saveLog);
    connect(clear, &QPushButton::clicked, this, &LogWindow::clearLog);

    auto *form = new QFormLayout;
    form->addRow(tr("Reference (mm):"), m_reference);
    form->addRow(tr("Frames per point:"), m_frames);
    auto *top = new QHBoxLayout;
    top->addLayout(form);
    top->addWidget(measure);
    top->addWidget(m_cancel);

    m_table->setModel(&m_log);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_plot->setAxisTitle(QwtPlot::xBottom, tr("reference (mm)"));
    m_plot->setAxisTitle(QwtPlot::yLeft, tr("error (mm)"));
    m_plot->setCanvasBackground(Qt::white);
    (new QwtPlotGrid)->attach(m_plot);
    auto *zero = new QwtPlotMarker; // no error
    zero->setLineStyle(QwtPlotMarker::HLine);
    zero->setLinePen(Qt::darkGray, 0, Qt::DashLine);
    zero->attach(m_plot);
    m_curve->setStyle(QwtPlotCurve::NoCurve);
    m_curve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::red), QPen(Qt::darkRed), QSize(8, 8)));
    m_curve->attach(m_plot);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_plot);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(copy);
    bottom->addWidget(saveCsv);
    bottom->addStretch();
    bottom->addWidget(clear);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    m_progress->setFormat(tr("%v of %m frames"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    resize(1040, 720);

    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &LogWindow::poll);
    showProgress();
}

void LogWindow::save()
{
    QString message;
    int frames = 0;
    if (!m_settings || !MeasurementLog::readFrames(m_frames->text(), &frames, &message))
        return;
    m_settings->beginGroup(QLatin1String(Group));
    if (m_settings->value(QLatin1String(FramesKey), PointAverager::DefaultFrames).toInt() != frames)
        m_settings->setValue(QLatin1String(FramesKey), frames);
    m_settings->endGroup();
}

void LogWindow::say(const QString &text)
{
    m_status->setText(text);
}

void LogWindow::measurePoint()
{
    show();
    raise();
    int frames = 0;
    QString message;
    if (!MeasurementLog::readReference(m_reference->text(), &m_pointHasReference, &m_pointReference,
                                       &message)
        || !MeasurementLog::readFrames(m_frames->text(), &frames, &message)) {
        say(message);
        return;
    }
    m_averager.start(frames);
    m_poll.start();
    showProgress();
    emit pointStarted(m_pointHasReference
                          ? tr("reference %1 mm").arg(QString::number(m_pointReference, 'g', 12))
                          : tr("no reference"));
}

void LogWindow::cancelPoint()
{
    if (!m_averager.isCollecting())
        return;
    m_averager.cancel();
    m_poll.stop();
    showProgress();
    say(tr("Point cancelled."));
}

void LogWindow::poll()
{
    if (m_averager.isComplete()) {
        m_poll.stop();
        m_log.append({ QDateTime::currentDateTime(), m_pointHasReference, m_pointReference,
                       m_averager.point() });
        m_progress->setValue(m_progress->maximum()); // stays full until the next point
        m_averager.cancel();
        m_cancel->setEnabled(false);
        showPoints();
        m_table->scrollToBottom();
        say(tr("Point %1 logged.").arg(m_log.rowCount()));
        return;
    }
    showProgress();
}

void LogWindow::showPoints()
{
    const QVector<QPointF> points = m_log.errorPoints();
    m_curve->setSamples(points);
    // Fixed scales with room around the points: autoscaling puts the outer
    // ones on the frame, half hidden. Zero error is always in sight.
    if (points.isEmpty()) {
        m_plot->setAxisAutoScale(QwtPlot::xBottom);
        m_plot->setAxisAutoScale(QwtPlot::yLeft);
    } else {
        double x0 = points.first().x(), x1 = x0, y0 = 0, y1 = 0;
        for (const QPointF &p : points) {
            x0 = qMin(x0, p.x());
            x1 = qMax(x1, p.x());
            y0 = qMin(y0, p.y());
            y1 = qMax(y1, p.y());
        }
        const double dx = qMax(0.05 * (x1 - x0), 50.0);
        const double dy = qMax(0.1 * (y1 - y0), 1.0);
        m_plot->setAxisScale(QwtPlot::xBottom, x0 - dx, x1 + dx);
        m_plot->setAxisScale(QwtPlot::yLeft, y0 - dy, y1 + dy);
    }
    m_plot->replot();
}

void LogWindow::showProgress()
{
    const bool collecting = m_averager.isCollecting();
    m_cancel->setEnabled(collecting);
    m_progress->setRange(0, qMax(1, m_averager.target()));
    m_progress->setValue(m_averager.collected());
    // The count is the bar's own text: a label changing ten times a second
    // would lay the window out again each time.
    if (collecting && m_averager.collected() == 0)
        say(tr("Waiting for frames: %1 to average. Is the port open and the device started?")
                .arg(m_averager.target()));
    else if (collecting)
        say(tr("Averaging."));
}

void LogWindow::copyLog()
{
    QGuiApplication::clipboard()->setText(m_log.tabSeparated());
}

void LogWindow::saveLog()
{
    const QString name = QStringLiteral("tav47-log-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".csv");
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save Log"), QDir::home().filePath(name), tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    // Aside and renamed over: a failed save leaves an older file as it was.
    QSaveFile file(path);
    const QByteArray text = m_log.csv();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        say(tr("The log could not be saved: %1: %2").arg(path, file.errorString()));
    else
        say(tr("Log saved to %1.").arg(path));
}

void LogWindow::clearLog()
{
    m_log.clear();
    showPoints();
    say(QString());
}
