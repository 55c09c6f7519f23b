#pragma once

#include "historystore.h"
#include "measurementfeed.h"

#include <QElapsedTimer>

// Feeds a store from a MeasurementFeed: each frame is stamped with the time of
// the read that completed it, on a monotonic clock started at construction
// (startUtc of the store is set then). Values too wide for the store's fields
// are held at their largest.
class HistoryRecorder : public MeasurementListener
{
public:
    explicit HistoryRecorder(HistoryStore *store);

    void newRead() override;
    void addMeasurement(const Measurement &measurement) override;
    // A read at `timeUs` since the start instead of the clock's time.
    void newRead(qint64 timeUs) { m_readUs = timeUs; }

private:
    HistoryStore *m_store;
    QElapsedTimer m_clock;
    qint64 m_readUs = 0;
};
