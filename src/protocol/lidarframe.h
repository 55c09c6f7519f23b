#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// One frame on the serial line, in both directions:
//   AA 55 <command> <N> <N payload bytes> <sum>
// where <sum> is the 8-bit sum of every byte before it, header included.
namespace LidarFrame {

constexpr quint8 Header1 = 0xAA;
constexpr quint8 Header2 = 0x55;
constexpr int HeaderSize = 4; // two header bytes, command, length
constexpr int Overhead = HeaderSize + 1; // plus the checksum
constexpr int MaxPayload = 46; // the longest frame the host accepts is 51 bytes
constexpr int MaxSize = Overhead + MaxPayload;

namespace Command {
constexpr quint8 Measurement = 0x01; // device -> host, distance/energy/ambient
constexpr quint8 Start = 0x60;
constexpr quint8 Stop = 0x61;
constexpr quint8 Rate = 0x64; // one payload byte: the rate code
constexpr quint8 Probe = 0xF0;
} // namespace Command

quint8 checksum(const char *data, qsizetype size);
inline quint8 checksum(const QByteArray &bytes)
{
    return checksum(bytes.constData(), bytes.size());
}

// Builds a complete frame. Payloads longer than 255 bytes cannot be framed
// and give an empty array.
QByteArray build(quint8 command, const QByteArray &payload = QByteArray());

} // namespace LidarFrame

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

private:
    static int offset(int entry);
    std::array<quint8, Size> m_bytes;
};
