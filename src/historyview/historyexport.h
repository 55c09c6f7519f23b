#pragma once

#include "historystore.h"

#include <QString>

// The frames of a HistoryStore in [t0Us, t1Us) as a recording: the CSV
// columns the tool records (host_time from the store's start time, elapsed_s
// the run's own time, so the times read back as they were shown) and, beside
// NAME.csv, NAME.json with the events of that span, so markers come back too.
// Each file is written whole or not at all. False with *error naming the file
// and the reason.
bool writeHistoryCsv(const HistoryStore &store, qint64 t0Us, qint64 t1Us, const QString &path,
                     QString *error);
