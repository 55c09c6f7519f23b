#pragma once

#include "lidarframe.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

// A frame that passed its checksum. The payload pointer is valid only for the
// duration of the callback.
struct DecodedFrame
{
    quint8 command;
    quint8 length;
    const quint8 *payload;

    QByteArray payloadBytes() const
    {
        return QByteArray(reinterpret_cast<const char *>(payload), length);
    }
};

// Byte-wise receiver for LidarFrames. One instance per stream; the state
// carries across chunks, so the frames found never depend on how the stream
// was cut up.
//
// It does not trust a header just because it reads AA 55: when the frame that
// follows fails its checksum, or announces more payload than a frame may hold,
// scanning resumes at the byte after the false AA, over the bytes already
// taken in. Line noise that happens to look like a header therefore cannot
// swallow the real frames behind it.
class FrameDecoder
{
public:
    FrameDecoder() = default;

    // Feeds a chunk of any size (empty included). onFrame(const DecodedFrame &)
    // is called for every frame that passes its checksum, in stream order.
    template<typename Sink>
    void decode(const char *data, qsizetype size, Sink &&onFrame)
    {
        const auto *bytes = reinterpret_cast<const quint8 *>(data);
        for (qsizetype i = 0; i < size; ++i)
            step(bytes[i], onFrame);
    }

    template<typename Sink>
    void decode(const QByteArray &chunk, Sink &&onFrame)
    {
        decode(chunk.constData(), chunk.size(), onFrame);
    }

    // Forgets any partly received frame.
    void reset()
    {
        m_state = WaitHeader1;
        m_index = 0;
        m_sum = 0;
        m_length = 0;
    }

    // Number of bytes held for the frame being received.
    int pending() const { return m_index; }

    // Line quality since construction: bytes of every frame accepted, and
    // frames thrown away because their checksum did not match.
    quint64 frameBytes() const { return m_frameBytes; }
    quint64 checksumErrors() const { return m_checksumErrors; }

private:
    enum State { WaitHeader1, WaitHeader2, WaitCommand, WaitLength, WaitPayload, WaitChecksum };

    template<typename Sink>
    void step(quint8 b, Sink &onFrame)
    {
        m_buffer[m_index] = b;
        switch (m_state) {
        case WaitHeader1:
            if (b == LidarFrame::Header1) {
                m_sum = b;
                m_index = 1;
                m_state = WaitHeader2;
            }
            return;
        case WaitHeader2:
            if (b == LidarFrame::Header2) {
                m_sum = quint8(m_sum + b);
                m_index = 2;
                m_state = WaitCommand;
            } else {
                m_index = 2;
                rescan(onFrame); // b may itself start a frame
            }
            return;
        case WaitCommand:
            m_sum = quint8(m_sum + b);
            m_index = 3;
            m_state = WaitLength;
            return;
        case WaitLength:
            m_sum = quint8(m_sum + b);
            m_length = b;
            m_index = 4;
            if (b > LidarFrame::MaxPayload)
                rescan(onFrame); // can never be accepted: no need to wait for its end
            else
                m_state = b == 0 ? WaitChecksum : WaitPayload;
            return;
        case WaitPayload:
            m_sum = quint8(m_sum + b);
            ++m_index;
            if (m_index == LidarFrame::HeaderSize + m_length)
                m_state = WaitChecksum;
            return;
        case WaitChecksum:
            if (b == m_sum) {
                const DecodedFrame frame { m_buffer[2], quint8(m_length),
                                           m_buffer + LidarFrame::HeaderSize };
                m_frameBytes += quint64(LidarFrame::Overhead + m_length);
                reset();
                onFrame(frame);
            } else {
                ++m_checksumErrors;
                ++m_index;
                rescan(onFrame);
            }
            return;
        }
    }

    // Called with m_index counting every byte of the false frame, the current
    // one included. Drops the false first header byte and runs everything after it
    // through the state machine again. At most MaxSize - 1 bytes are replayed;
    // a replay can itself hit a false start and recurse, each time on fewer
    // bytes, so the depth stays below MaxSize.
    template<typename Sink>
    void rescan(Sink &onFrame)
    {
        quint8 replay[LidarFrame::MaxSize];
        const int count = m_index - 1;
        std::memcpy(replay, m_buffer + 1, size_t(count));
        reset();
        for (int i = 0; i < count; ++i)
            step(replay[i], onFrame);
    }

    int m_state = WaitHeader1;
    int m_index = 0; // bytes of the current frame held in m_buffer
    quint8 m_sum = 0;
    int m_length = 0;
    quint8 m_buffer[LidarFrame::MaxSize] = {};
    quint64 m_frameBytes = 0;
    quint64 m_checksumErrors = 0;
};
