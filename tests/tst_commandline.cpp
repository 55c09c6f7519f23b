// Option values read as numbers, the one way every program reads them, and
// the window's own options.

#include "commandline.h"
#include "tooloptions.h"

#include <QDir>

#include <QtTest>

namespace {

// What a reader made of the text: the number, or -1 when it refused it and
// left the value as it was (-2 when it refused it but changed the value).
template<typename T, typename Read>
double attempt(Read read)
{
    T value = 42;
    if (read(&value))
        return double(value);
    return value == 42 ? -1.0 : -2.0;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void toolOptions_data();
    void toolOptions();
};

void TestCommandLine::numbers_data()
{
    QTest::addColumn<QString>("kind"); // int (1 or more), uint, u64 (1 or more), rate, fraction
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("read");

    QTest::newRow("int with sign") << "int"
                                   << "+460800" << 460800.0;
    QTest::newRow("int below the least") << "int"
                                         << "0" << -1.0;
    QTest::newRow("int past its range") << "int"
                                        << "2147483648" << -1.0;
    QTest::newRow("uint at its top") << "uint"
                                     << "4294967295" << 4294967295.0;
    QTest::newRow("uint past its range") << "uint"
                                         << "4294967296" << -1.0;
    QTest::newRow("u64 negative") << "u64"
                                  << "-5" << -1.0;
    QTest::newRow("u64 in hex") << "u64"
                                << "0x10" << -1.0;
    QTest::newRow("rate the device has") << "rate"
                                         << "1800" << 1800.0;
    QTest::newRow("rate it lacks") << "rate"
                                   << "50" << -1.0;
    QTest::newRow("rate in words") << "rate"
                                   << "fast" << -1.0;
    QTest::newRow("fraction at the top") << "fraction"
                                         << "0.9" << 0.9;
    QTest::newRow("fraction past the top") << "fraction"
                                           << "0.91" << -1.0;
    QTest::newRow("fraction below the least") << "fraction"
                                              << "-0.1" << -1.0;
    QTest::newRow("fraction not a number") << "fraction"
                                           << "nan" << -1.0;
    QTest::newRow("fraction endless") << "fraction"
                                      << "inf" << -1.0;
}

void TestCommandLine::numbers()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(double, read);
    using namespace CommandLine;
    double got = -3;
    if (kind == "int")
        got = attempt<int>([&](int *v) { return readWhole(text, 1, v); });
    else if (kind == "uint")
        got = attempt<uint>([&](uint *v) { return readWhole(text, 0U, v); });
    else if (kind == "u64")
        got = attempt<quint64>([&](quint64 *v) { return readWhole(text, quint64(1), v); });
    else if (kind == "rate")
        got = attempt<int>([&](int *v) { return readRateHz(text, v); });
    else
        got = attempt<double>([&](double *v) { return readNumber(text, 0.0, 0.9, v); });
    QCOMPARE(got, read);
}

void TestCommandLine::toolOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("record"); // "./x": x in the current folder

    const int run = ToolOptions::Run, invalid = ToolOptions::Invalid;
    QTest::newRow("none") << QStringList() << run << QString() << QString();
    QTest::newRow("port by its path") << QStringList { "--port", "/dev/serial/by-id/usb-TAV47" }
                                      << run << "/dev/serial/by-id/usb-TAV47" << QString();
    QTest::newRow("bare port name left to the port")
        << QStringList { "--port", "ttyUSB0" } << run << "ttyUSB0" << QString();
    QTest::newRow("relative port path")
        << QStringList { "--port", "./pty" } << run << "./pty" << QString();
    QTest::newRow("relative file from the starting folder")
        << QStringList { "--record", "run.csv" } << run << QString() << "./run.csv";
    QTest::newRow("standard output") << QStringList { "--record", "-" } << run << QString() << "-";
    QTest::newRow("record without a file")
        << QStringList { "--record" } << invalid << QString() << QString();
    QTest::newRow("empty file") << QStringList { "--record", "" } << invalid << QString()
                                << QString();
    QTest::newRow("empty port") << QStringList { "--port", "" } << invalid << QString()
                                << QString();
    QTest::newRow("stray argument")
        << QStringList { "run.csv" } << invalid << QString() << QString();
    QTest::newRow("unknown option")
        << QStringList { "--fast" } << invalid << QString() << QString();
    QTest::newRow("help") << QStringList { "--help" } << int(ToolOptions::ShowHelp) << QString()
                          << QString();
    QTest::newRow("version") << QStringList { "--version" } << int(ToolOptions::ShowVersion)
                             << QString() << QString();
    QTest::newRow("version of wrong usage")
        << QStringList { "--version", "--fast" } << invalid << QString() << QString();
}

void TestCommandLine::toolOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QString, port);
    QFETCH(QString, record);
    auto inCurrentFolder = [](QString path) {
        if (path.startsWith(QLatin1String("./")))
            path = QDir::current().absoluteFilePath(path.mid(2));
        return path;
    };

    ToolOptions options;
    QString message;
    // Run as installed: the version names the program, not its folder.
    QCOMPARE(
        int(ToolOptions::parse(QStringList { "/usr/bin/tav47" } + arguments, &options, &message)),
        outcome);
    QCOMPARE(message.isEmpty(), outcome == ToolOptions::Run);
    if (outcome == ToolOptions::ShowVersion)
        QCOMPARE(message, QStringLiteral("tav47 " TAV47_VERSION " (Qt %1)\n").arg(qVersion()));
    QCOMPARE(options.port, inCurrentFolder(port));
    QCOMPARE(options.recordFile, inCurrentFolder(record));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
