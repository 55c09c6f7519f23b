#pragma once

#include "measurementlog.h"
#include "pointaverager.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSettings;
class QTableView;
class QwtPlot;
class QwtPlotCurve;

// The measurement log: Measure Point (Ctrl+M, anywhere in the main window)
// averages the next N frames into one row, with the reference distance typed
// for it; the rows are plotted as error against reference. A window of its
// own that never blocks the main one: the averager listens to the feed, and
// the window looks at it ten times a second while a point comes in. Closing
// it only hides it: the log lasts until Clear or the end of the program.
// [Log] Frames in config.ini keeps N.
class LogWindow : public QWidget
{
    Q_OBJECT

public:
    // `owner` holds the Measure Point action; `settings` may be null.
    LogWindow(QWidget *owner, QSettings *settings);

    // Fed by the measurement feed.
    PointAverager &averager() { return m_averager; }
    const MeasurementLog &log() const { return m_log; }
    QAction *measureAction() const { return m_measure; }
    // Keeps [Log] when it changed.
    void save();

signals:
    // A point began, for the recording's notes: "reference 1500 mm".
    void pointStarted(const QString &detail);

private:
    void measurePoint();
    void cancelPoint();
    void poll();
    void showProgress();
    void showPoints();
    void copyLog();
    void saveLog();
    void clearLog();
    void say(const QString &text);

    QSettings *m_settings;
    PointAverager m_averager;
    MeasurementLog m_log;
    QTimer m_poll;
    int m_savedFrames = PointAverager::DefaultFrames;
    bool m_pointHasReference = false;
    double m_pointReference = 0;

    QAction *m_measure;
    QLineEdit *m_reference;
    QLineEdit *m_frames;
    QPushButton *m_cancel;
    QProgressBar *m_progress;
    QLabel *m_status;
    QTableView *m_table;
    QwtPlot *m_plot;
    QwtPlotCurve *m_curve;
};
