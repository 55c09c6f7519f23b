#include "commandtable.h"

#include <algorithm>

// clang-format off
CommandTable::CommandTable()
    : m_bytes { {
            0xAA, 0x55, 0xF0, 0x00, 0xEF, // probe
            0xAA, 0x55, 0x60, 0x00, 0x5F, // start scanning
            0xAA, 0x55, 0x61, 0x00, 0x60, // stop scanning
            0xAA, 0x55, 0x64, 0x01, 0x00, 0x64, // 10 Hz
            0xAA, 0x55, 0x64, 0x01, 0x01, 0x65, // 100 Hz
            0xAA, 0x55, 0x64, 0x01, 0x02, 0x66, // 200 Hz
            0xAA, 0x55, 0x64, 0x01, 0x03, 0x67, // 500 Hz
            0xAA, 0x55, 0x64, 0x01, 0x04, 0x68, // 1000 Hz
            0xAA, 0x55, 0x64, 0x01, 0x05, 0x69, // 1800 Hz
    } }
{
}
// clang-format on

namespace {
constexpr std::array<int, CommandTable::RateCount> RatesHz { 10, 100, 200, 500, 1000, 1800 };
} // namespace

int CommandTable::rateHz(int rateCode)
{
    return rateCode >= 0 && rateCode < RateCount ? RatesHz[size_t(rateCode)] : 0;
}

int CommandTable::rateCode(int hz)
{
    const auto found = std::find(RatesHz.cbegin(), RatesHz.cend(), hz);
    return found == RatesHz.cend() ? -1 : int(found - RatesHz.cbegin());
}

int CommandTable::offset(int entry)
{
    // Three 5-byte frames, then six 6-byte rate frames.
    return entry <= Rate10Hz ? entry * 5 : 15 + (entry - Rate10Hz) * 6;
}

// An entry outside the table has no bytes: a bad index must never send, or
// read, whatever lies beyond the table.
const char *CommandTable::frameData(int entry) const
{
    if (entry < 0 || entry >= EntryCount)
        return nullptr;
    return reinterpret_cast<const char *>(m_bytes.data()) + offset(entry);
}

int CommandTable::frameSize(int entry) const
{
    if (entry < 0 || entry >= EntryCount)
        return 0;
    return offset(entry + 1) - offset(entry);
}

QByteArray CommandTable::frame(int entry) const
{
    return QByteArray(frameData(entry), frameSize(entry));
}
