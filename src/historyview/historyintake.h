#pragma once

#include "historyrecorder.h"
#include "historystore.h"
#include "measurementfeed.h"

#include <QElapsedTimer>

#include <vector>

// The live store's door from the feed. A worker thread may read the store
// (an export of millions of rows) only while nothing is appended, so while held the frames wait
// here, stamped with the time they came, and join the store in order when the last hold is
// released. The frames' times come from this clock, started with the store's recorder.
class HistoryIntake : public MeasurementListener
{
public:
    explicit HistoryIntake(HistoryStore *store);

    HistoryStore &store() { return *m_store; }
    void hold() { ++m_holds; }
    void release();
    bool isHeld() const { return m_holds > 0; }

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
    int m_holds = 0;
    std::vector<Waiting> m_waiting; // kept, so a hold allocates nothing once warm
};
