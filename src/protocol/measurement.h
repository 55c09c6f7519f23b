#pragma once

#include <QtGlobal>

// Latest values taken from a measurement frame.
struct Measurement
{
    quint32 distance = 0; // payload bytes 0-1, little-endian
    quint32 energy = 0; // payload byte 2
    quint32 temperature = 0; // no frame carries it
    quint32 ambient = 0; // payload byte 3

    static constexpr int PayloadSize = 4;

    // A frame with fewer than four payload bytes (a command echo, say) is not
    // a measurement and leaves the values untouched.
    bool update(const quint8 *payload, int length)
    {
        if (length < PayloadSize)
            return false;
        distance = quint32(payload[0]) | quint32(payload[1]) << 8;
        energy = payload[2];
        ambient = payload[3];
        return true;
    }
};
