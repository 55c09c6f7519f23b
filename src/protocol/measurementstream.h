#pragma once

#include "framedecoder.h"
#include "measurement.h"

#include <QByteArray>

// The path every received chunk takes, in the window and in headless capture
// alike: frames out of the byte stream, measurement frames into `latest`, and
// each new measurement handed on in stream order. Frames that carry no
// measurement (command echoes) are dropped here. Returns how many were taken.
template<typename Sink>
int decodeMeasurements(FrameDecoder &decoder, Measurement &latest, const QByteArray &chunk,
                       Sink &&onMeasurement)
{
    int taken = 0;
    decoder.decode(chunk, [&](const DecodedFrame &frame) {
        if (!latest.update(frame.payload, frame.length))
            return;
        ++taken;
        onMeasurement(static_cast<const Measurement &>(latest));
    });
    return taken;
}
