#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Says silent() once no frame has come for a time. That time is a minimum:
// the system may wake a timer early, so the watch looks at the clock before
// it speaks.
class SilenceWatch : public QObject
{
    Q_OBJECT

public:
    explicit SilenceWatch(QObject *parent = nullptr);

    // Counts from now; 0 ms: never silent.
    void start(qint64 limitMs);
    void frameSeen() { m_sinceFrame.restart(); }
    void stop() { m_timer.stop(); }

signals:
    void silent();

private:
    void check();

    QTimer m_timer;
    QElapsedTimer m_sinceFrame;
    qint64 m_limitNs = 0;
};
