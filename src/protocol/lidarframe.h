#pragma once

#include <QByteArray>
#include <QtGlobal>

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
