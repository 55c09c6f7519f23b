#pragma once

#include "historyrecorder.h"
#include "historystore.h"
#include "measurementfeed.h"

#include <QElapsedTimer>

#include <vector>

// The live store's door from the feed. A worker thread may read the store
// (a histogram, the Allan deviation) only while nothing is appended, so while
// held the frames wait here, stamped with the time they came, and join the
// store in order on release. The frames' times come from this clock, started
// with the store's recorder.
class HistoryIntake : public MeasurementListener
{
public:
    explicit HistoryIntake(HistoryStore *store);

    HistoryStore &store() { return *m_store; }
    void hold() { m_held = true; }
    void release();
    bool isHeld() const { return m_held; }

    void newRead() override;
    void addMeasurement(const Measurement &measurement) override;

private:
    struct Waiting
    {
        qint64 timeUs;
        Measurement measurement;
    };
    HistoryStore *m_store;
    HistoryRecorder m_recorder;
    QElapsedTimer m_clock;
    qint64 m_readUs = 0;
    bool m_held = false;
    std::vector<Waiting> m_waiting; // kept, so a hold allocates nothing once warm
};
