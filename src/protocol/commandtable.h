#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// The nine ready-made frames the host sends, 51 bytes back to back. They are
// written out literally rather than built, so what goes on the wire is exactly
// what is listed here.
class CommandTable
{
public:
    enum Entry {
        Probe = 0, // kept in the table, never sent
        StartScan = 1,
        StopScan = 2,
        Rate10Hz = 3, // rate entries follow in the order of the rate selector
        Rate100Hz,
        Rate200Hz,
        Rate500Hz,
        Rate1000Hz,
        Rate1800Hz,
        EntryCount
    };
    static constexpr int RateCount = EntryCount - Rate10Hz;
    static constexpr int Size = 51;

    CommandTable();

    // Whole table, for inspection.
    const std::array<quint8, Size> &bytes() const { return m_bytes; }

    const char *frameData(int entry) const;
    int frameSize(int entry) const;
    QByteArray frame(int entry) const;

    // The rate frame for rate code 0..5, i.e. the rate selector's index.
    static int rateEntry(int rateCode) { return Rate10Hz + rateCode; }
    // The rate of rate code 0..5 in Hz (10, 100, 200, 500, 1000, 1800); 0
    // for any other code.
    static int rateHz(int rateCode);
    // The rate code of a rate in Hz; -1 for a rate the device does not offer.
    static int rateCode(int hz);

private:
    static int offset(int entry);
    std::array<quint8, Size> m_bytes;
};
