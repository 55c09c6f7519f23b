#pragma once

#include "chartlook.h"
#include "historycurve.h"
#include "historystore.h"
#include "historyviewrange.h"
#include "recordingloader.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

class HistoryIntake;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotHistogram;
class QwtPlotMarker;

// Every frame since start-up (the live store) or a recording loaded from a
// file, drawn against time with the statistics, histogram and Allan deviation
// of what is in view. Mouse: the wheel zooms the time about the pointer, a
// drag pans, a right-button drag zooms to the box, a double-click shows all.
// Live, the view follows the newest frames until the user moves it; Follow
// returns to them. It repaints at most every 100 ms, and only while shown.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // Asked as QFileDialog asks (parent, caption, proposed path, filter);
    // empty for none. Tests answer in its place.
    using FileDialog
        = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    // `live` may be null (no live store: only recordings).
    explicit HistoryWindow(HistoryIntake *live, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    // The channels' colours and which are drawn at first, as the chart has them.
    void setLook(const ChartLook &look);
    void setOpenFileDialog(FileDialog dialog) { m_openDialog = std::move(dialog); }
    void setSaveFileDialog(FileDialog dialog) { m_saveDialog = std::move(dialog); }

    // Loads a recording in place of what is shown; returns at once, loaded()
    // says when it is done.
    void openRecording(const QString &path);
    void showLive();
    bool isLive() const { return !m_loaded; }
    const HistoryStore *shownStore() const;
    const HistoryViewRange &view() const { return m_view; }
    QwtPlot *plot() const { return m_plot; }
    // The frames in view as a recording, written on a worker (millions of
    // rows take seconds, and the window goes on reading the port); exported()
    // says when. The plot as PNG or SVG (by the suffix), at once. A failure
    // leaves the reason in message().
    void exportCsv(const QString &path);
    bool exportImage(const QString &path);
    QString message() const;

signals:
    void loaded();
    void analysed(); // the histogram and Allan plots show the view
    void exported(bool ok);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Analysis
    {
        std::vector<qint64> bins;
        double lo = 0, hi = 0;
        std::vector<AllanPoint> allan;
    };

    void buildPlots();
    void tick();
    void viewMoved(); // by the user
    void refresh(bool force);
    void applyAxes();
    void storeChanged(); // the live store or a loaded one: curves, clock, markers, all in view
    void updateStats(const ViewStats &stats);
    void updateMarkers();
    void updateStatus();
    void startAnalysis();
    void analysisDone();
    void loadFinished(const RecordingLoader::Result &result);
    void setMessage(const QString &text);
    void zoomAt(double axisValue, double factor);
    void panPixels(int dx);
    void exportWithDialog(bool image);
    void exportDone();

    HistoryIntake *m_live;
    std::shared_ptr<HistoryStore> m_loaded; // null: the live store is shown
    QString m_loadedPath;
    HistoryViewRange m_view;
    HistoryTimeAxis m_axis;
    std::array<HistoryCurve *, HistoryChannelCount> m_curves {};
    std::array<QCheckBox *, HistoryChannelCount> m_shown {};
    QVector<QwtPlotMarker *> m_markers;
    RecordingLoader m_loader;
    FileDialog m_openDialog;
    FileDialog m_saveDialog;
    QTimer m_timer;

    // What the last refresh showed, so an idle window draws nothing.
    qint64 m_shownSize = -1, m_shownDropped = -1, m_shownLastUs = -1;
    qint64 m_shownT0 = 0, m_shownT1 = 0;

    // One analysis at a time; a newer view cancels the running one.
    QFutureWatcher<Analysis> m_analysis;
    std::shared_ptr<std::atomic_bool> m_cancel;
    bool m_analysisDue = false;
    QFutureWatcher<QString> m_export; // the error, empty when written
    QString m_exportPath;
    bool m_exportHolds = false;
    QElapsedTimer m_sinceAnalysis;

    QwtPlot *m_plot = nullptr;
    QwtPlot *m_histogramPlot = nullptr;
    QwtPlot *m_allanPlot = nullptr;
    QwtPlotHistogram *m_histogram = nullptr;
    QwtPlotCurve *m_allanCurve = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_message = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancelLoad = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_liveButton = nullptr;
    QPushButton *m_follow = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QCheckBox *m_clock = nullptr;
};
