#pragma once

#include "historystore.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Loads a recording (the CSV the tool and tav47-capture write, with the
// events of its NAME.json sidecar when there is one) on a worker thread.
class RecordingLoader : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        std::shared_ptr<HistoryStore> store; // null unless loaded
        qint64 rows = 0; // frames read, before any the store's capacity dropped
        qint64 malformedRows = 0; // skipped
        qint64 firstMalformedLine = 0; // 1 is the header
        // Rows with a value too wide for its field (distance over 65535,
        // energy or ambient over 255): kept with that value at its largest.
        qint64 clampedRows = 0;
        qint64 firstClampedLine = 0;
        // The file was longer at the end than at the start: only the rows of
        // the length seen at the start are loaded.
        bool grew = false;
        bool shrank = false; // it ended before the length seen at the start
        QString error; // empty when loaded
        bool cancelled = false;
        // What the user should be told: the error, or the remarks on a loaded file.
        QString message() const;
    };

    explicit RecordingLoader(QObject *parent = nullptr);
    ~RecordingLoader() override; // cancels and waits

    // Starts loading and returns at once; a load still running is cancelled
    // and its result never reported.
    void load(const QString &path);
    void cancel();
    bool isLoading() const;

signals:
    void progress(int permille);
    void finished(const RecordingLoader::Result &result);

private:
    void stop();

    std::thread m_thread;
    std::shared_ptr<std::atomic_bool> m_cancel;
    quint64 m_generation = 0;
    bool m_loading = false;
};

Q_DECLARE_METATYPE(RecordingLoader::Result)

// The same on the caller's thread. `progress` (may be empty) is called with
// the permille read now and then; returning false cancels.
RecordingLoader::Result loadRecording(const QString &path,
                                      const std::function<bool(int permille)> &progress = {});
