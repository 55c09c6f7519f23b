// Opens a recording as the History window does and says how long it took:
//   load_history FILE
// Prints the rows, the seconds, MB/s and the bytes the store holds a frame.
// Run it under /usr/bin/time -v for the peak memory, beside `wc -l FILE`.

#include "recordingloader.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: load_history FILE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QElapsedTimer timer;
    timer.start();
    const RecordingLoader::Result result = loadRecording(path);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!result.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(result.error));
        return 1;
    }
    const double mb = double(QFileInfo(path).size()) / 1e6;
    std::printf("rows %lld  %.3f s  %.1f MB/s  store %.0f MB (%.2f bytes a frame)\n",
                static_cast<long long>(result.rows), seconds, mb / seconds,
                double(result.store->size()) * HistoryStore::BytesPerFrame / 1e6,
                HistoryStore::BytesPerFrame);
    return 0;
}
