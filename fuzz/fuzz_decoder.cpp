// libFuzzer harness for the frame decoder. Besides crashes and sanitizer
// findings it fails (abort) when the frames found depend on how the input is
// cut into chunks, or differ from a plain search over the whole input.

#include "commandtable.h"
#include "framedecoder.h"
#include "lidarframe.h"
#include "measurement.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_decoder: %s\n", what);
    std::abort();
}

// Frames as one string: command, length and payload of each, back to back.
struct Result
{
    std::string frames;
    int pending = 0;

    bool operator==(const Result &o) const { return frames == o.frames && pending == o.pending; }
    bool operator!=(const Result &o) const { return !(*this == o); }
};

void append(std::string &frames, quint8 command, const quint8 *payload, int length)
{
    frames += char(command);
    frames += char(length);
    frames.append(reinterpret_cast<const char *>(payload), size_t(length));
}

// Feeds the input in chunks of the given sizes (the last chunk takes the rest).
Result decodeInChunks(const uint8_t *data, size_t size, const std::vector<size_t> &chunkSizes)
{
    FrameDecoder decoder;
    Result result;
    auto sink = [&](const DecodedFrame &f) {
        if (f.length > LidarFrame::MaxPayload)
            fail("frame longer than a frame may be");
        append(result.frames, f.command, f.payload, f.length);
        Measurement m;
        const bool taken = m.update(f.payload, f.length);
        if (taken != (f.length >= Measurement::PayloadSize))
            fail("measurement taken from a frame too short, or refused from a long one");
    };
    size_t at = 0;
    for (size_t chunk : chunkSizes) {
        chunk = std::min(chunk, size - at);
        decoder.decode(reinterpret_cast<const char *>(data + at), qsizetype(chunk), sink);
        at += chunk;
        if (decoder.pending() >= LidarFrame::MaxSize)
            fail("decoder holds more than one frame");
    }
    decoder.decode(reinterpret_cast<const char *>(data + at), qsizetype(size - at), sink);
    result.pending = decoder.pending();
    return result;
}

// The same decoding stated over the whole input: take a frame that starts at
// the current position and checks out, otherwise move on one byte; stop at the
// first frame that is not complete yet, whose bytes a decoder still holds.
Result searchWhole(const uint8_t *b, size_t size)
{
    Result result;
    const size_t n = size;
    size_t p = 0;
    while (p < n) {
        if (b[p] != LidarFrame::Header1) {
            ++p;
            continue;
        }
        if (p + 1 >= n)
            break;
        if (b[p + 1] != LidarFrame::Header2) {
            ++p;
            continue;
        }
        if (p + 3 >= n)
            break;
        const int length = b[p + 3];
        if (length > LidarFrame::MaxPayload) {
            ++p;
            continue;
        }
        const size_t end = p + size_t(length) + LidarFrame::Overhead;
        if (end > n)
            break;
        if (LidarFrame::checksum(reinterpret_cast<const char *>(b + p), qsizetype(end - p - 1))
            == b[end - 1]) {
            append(result.frames, b[p + 2], b + p + 4, length);
            p = end;
        } else {
            ++p;
        }
    }
    result.pending = int(n - p);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Result whole = decodeInChunks(data, size, {});

    const Result byteByByte = decodeInChunks(data, size, std::vector<size_t>(size, 1));
    if (byteByByte != whole)
        fail("byte by byte differs from whole");

    // A cut and a run of chunk sizes, both derived from the input itself.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    const size_t cut = size ? hash % (size + 1) : 0;
    if (decodeInChunks(data, size, { cut }) != whole)
        fail("two chunks differ from whole");

    std::vector<size_t> sizes;
    uint32_t state = hash | 1u;
    for (size_t total = 0; total < size;) {
        state = state * 1103515245u + 12345u;
        const size_t chunk = (state >> 16) % 70; // empty chunks included
        sizes.push_back(chunk);
        total += chunk;
    }
    if (decodeInChunks(data, size, sizes) != whole)
        fail("varied chunks differ from whole");

    if (searchWhole(data, size) != whole)
        fail("decoder differs from a search over the whole input");
    return 0;
}
