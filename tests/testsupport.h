#pragma once

// Helpers shared by all the tests. Qt Core only: the tests without a display
// use them too.

#include "channelmodel.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// Bytes written as hex digits, spaces between them allowed.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// CPU time the whole process has used so far, every thread counted.
inline double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Resident memory of this process; 0 where /proc cannot tell.
inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * qint64(::sysconf(_SC_PAGESIZE));
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces what the file holds; the test fails when it cannot.
inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly),
             qPrintable(path + QLatin1String(": ") + file.errorString()));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// One decoded frame as the decoder hands it over: channels 0 to 3 in order.
inline void addFrame(ChannelModel &model, float distance, float energy = 0, float temperature = 0,
                     float ambient = 0)
{
    model.addSample(ChannelModel::Distance, distance);
    model.addSample(ChannelModel::Energy, energy);
    model.addSample(ChannelModel::Temperature, temperature);
    model.addSample(ChannelModel::Ambient, ambient);
}

// A FIFO made at `path`, with the test's own reading end when `read`: opened
// and read without waiting, what came so far in `content`.
struct Fifo
{
    explicit Fifo(const QString &path, bool read = true)
        : made(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
        , fd(read ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK) : -1)
    { }
    ~Fifo()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fifo(const Fifo &) = delete;
    Fifo &operator=(const Fifo &) = delete;
    const QByteArray &readAll()
    {
        char buffer[65536];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            content.append(buffer, int(n));
        return content;
    }
    const bool made;
    const int fd;
    QByteArray content;
};

// One of our programs run as a process of its own, offscreen, and what it
// left behind. A run that outlives the timeout is killed: exit code -1.
struct ProgramRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline void startOffscreen(QProcess &process, const QString &program, const QStringList &arguments,
                           const QString &folder = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
}

inline ProgramRun finishProgram(QProcess &process, int timeoutMs = 30000)
{
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "timed out";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err += process.readAllStandardError();
    return run;
}

} // namespace testsupport
