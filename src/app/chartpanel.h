#pragma once

#include "csvrecorder.h"
#include "recordingsidecar.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class Chart;
class QAction;
class QLabel;
class QLineEdit;
class QSettings;
class QWidget;

// What a user does with the numbers on screen: recording frames to CSV,
// freezing and clearing what is shown, saving the samples and copying the
// statistics, and how the curves are scaled. Offered as the chart's context
// menu and by keyboard anywhere in the window. The shortcuts are Ctrl
// combinations and function keys that neither buttons nor combo boxes take:
//   Ctrl+R        record to CSV (on/off)
//   F9, Pause     freeze the chart and readouts (on/off)
//   Ctrl+L        clear the samples and statistics
//   Ctrl+S        save the samples on screen to CSV
//   Ctrl+Shift+C  copy the statistics (Ctrl+C stays the text fields' copy)
//   Ctrl+F        fixed ranges (on/off)
//   Ctrl+T        scale values (on/off)
// The actions belong to the window, so they are found there by name. The
// [Review] section of config.ini keeps the folder a file was last saved to and
// the two scale options. The window's title says what is on: recording,
// frozen.
class ChartPanel : public QObject
{
    Q_OBJECT

public:
    // Where a file is saved, asked as QFileDialog::getSaveFileName asks it
    // (parent, caption, proposed path, filter); empty for none. Tests answer
    // in its place.
    using SaveFileDialog
        = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    // `window` holds the actions and its current title is the one shown when
    // nothing is on; `names` and `readouts` are the channels' labels and
    // statistics, in channel order; `settings` may be null (no config.ini).
    ChartPanel(QWidget *window, Chart *chart, QList<QLabel *> names, QList<QLineEdit *> readouts,
               QSettings *settings);

    // Frames reach the file as the feed's listener.
    CsvRecorder &recorder() { return m_recorder; }
    void setSaveFileDialog(SaveFileDialog dialog) { m_saveFileDialog = std::move(dialog); }

    // Recording as the record action does it, without asking and without a
    // message box: the file is replaced. False, with recordingError() naming
    // the file and the reason, when it cannot be written; stopRecording() is
    // false too when rows were lost to a failed write before.
    bool startRecording(const QString &path);
    bool stopRecording();
    bool isRecording() const { return m_recorder.isOpen(); }
    QString recordingError() const { return m_recorder.error(); }

    // What happens on the line, for the notes beside a recording (see
    // RecordingSidecar): kept while not recording, so a recording begun later
    // starts with the line's state.
    void noteLineOpened(const QString &port, qint32 baud);
    void noteLineClosed(bool lost);
    void noteStarted(int rateHz);
    void noteStopped();
    // An event of the recording's notes, now: measure_point, say.
    void noteEvent(const QString &event, const QString &detail = QString());

    // On the repaint timer: writes what is due, and says so once if it fails.
    void flushRecording();
    // On closing the window: ends the recording and keeps [Review].
    void close();

signals:
    // A message for the status line: notes that cannot be written.
    void notice(const QString &text);

private:
    void toggleRecording(bool on);
    void warnRecording(const QString &what);
    void saveSamples();
    void copyStatistics();
    void showState();
    QString askSaveFile(const QString &caption, const QString &namePrefix);

    QWidget *m_window;
    Chart *m_chart;
    QList<QLabel *> m_names;
    QList<QLineEdit *> m_readouts;
    QSettings *m_settings;
    CsvRecorder m_recorder;
    RecordingSidecar m_sidecar;
    struct Line
    {
        bool open = false;
        QString port;
        qint32 baud = 0;
        int startedHz = 0; // of the last start sent since the port opened; 0: none
    } m_line;
    SaveFileDialog m_saveFileDialog;
    QString m_baseTitle;
    struct Saved // [Review]
    {
        QString folder; // empty: none yet
        bool fixedRanges = false;
        bool showScale = false;

        // Replaces each value the file holds; one it lacks keeps what is here.
        void read(QSettings &file);
        // Writes only the keys whose value differs from the file's (a missing
        // key counts as its default), so a file nobody changed stays as it is.
        void write(QSettings &file) const;
    } m_saved;

    QAction *m_record;
    QAction *m_freeze;
    QAction *m_clear;
    QAction *m_saveSamples;
    QAction *m_copyStatistics;
    QAction *m_fixedRanges;
    QAction *m_showScale;
};
