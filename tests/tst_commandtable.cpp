#include "commandtable.h"
#include "devicecontrol.h"
#include "framedecoder.h"
#include "lidarframe.h"
#include "measurement.h"
#include "testsupport.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

using namespace testsupport;

namespace {

// A port that takes at most `room` more bytes, as a line that stops
// accepting writes would; a stuck one keeps every byte queued.
class LimitedPort : public QBuffer
{
public:
    explicit LimitedPort(qint64 room, bool stuck = false)
        : m_room(room)
        , m_stuck(stuck)
    { }
    qint64 bytesToWrite() const override { return m_stuck ? size() : 0; }

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        if (size > m_room)
            return -1;
        m_room -= size;
        return QBuffer::writeData(data, size);
    }

private:
    qint64 m_room;
    bool m_stuck;
};

} // namespace

class TestCommandTable : public QObject
{
    Q_OBJECT

private slots:
    void checksum_data();
    void checksum();
    void build_data();
    void build();
    void buildRefusesOversizePayload();
    void wholeTable();
    void entries_data();
    void entries();
    void entryOutsideTable_data();
    void entryOutsideTable();
    void rateEntry_data();
    void rateEntry();
    void tableDecodesAsNineFrames();
    void startOutcome_data();
    void startOutcome();
};

void TestCommandTable::checksum_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("sum");

    QTest::newRow("nothing") << QByteArray() << 0x00;
    QTest::newRow("header pair") << hex("aa 55") << 0xFF;
    QTest::newRow("wraps past 255") << hex("ff 01") << 0x00;
    QTest::newRow("high bytes are not sign-extended") << hex("80 80 80") << 0x80;
    QTest::newRow("measurement frame before its sum") << hex("aa 55 01 04 34 12 80 07") << 0xD1;
    QTest::newRow("many bytes") << QByteArray(1000, char(0xFF)) << 0x18; // -1000 mod 256
}

void TestCommandTable::checksum()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, sum);
    QCOMPARE(int(LidarFrame::checksum(bytes)), sum);
}

void TestCommandTable::build_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("measurement") << 0x01 << hex("34 12 80 07") << hex("aa 55 01 04 34 12 80 07 d1");
    QTest::newRow("no payload") << 0x60 << QByteArray() << hex("aa 55 60 00 5f");
    QTest::newRow("rate code") << 0x64 << hex("05") << hex("aa 55 64 01 05 69");
    QTest::newRow("largest payload")
        << 0x02 << QByteArray(255, char(0x01))
        << hex("aa 55 02 ff") + QByteArray(255, char(0x01)) + hex("ff"); // 0x100+255 = 0x1ff
}

void TestCommandTable::build()
{
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(LidarFrame::build(quint8(command), payload).toHex(' '), frame.toHex(' '));
}

void TestCommandTable::buildRefusesOversizePayload()
{
    // The length byte cannot say 256: such a frame would lie about its size.
    QVERIFY(LidarFrame::build(0x01, QByteArray(256, 'x')).isEmpty());
}

void TestCommandTable::wholeTable()
{
    const QByteArray expected = hex("aa 55 f0 00 ef"
                                    "aa 55 60 00 5f"
                                    "aa 55 61 00 60"
                                    "aa 55 64 01 00 64"
                                    "aa 55 64 01 01 65"
                                    "aa 55 64 01 02 66"
                                    "aa 55 64 01 03 67"
                                    "aa 55 64 01 04 68"
                                    "aa 55 64 01 05 69");
    QCOMPARE(expected.size(), 51);
    const CommandTable table;
    QCOMPARE(int(table.bytes().size()), CommandTable::Size);
    const QByteArray bytes(reinterpret_cast<const char *>(table.bytes().data()),
                           int(table.bytes().size()));
    QCOMPARE(bytes.toHex(' '), expected.toHex(' '));
}

void TestCommandTable::entries_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("probe") << int(CommandTable::Probe) << 0 << hex("aa 55 f0 00 ef");
    QTest::newRow("start") << int(CommandTable::StartScan) << 5 << hex("aa 55 60 00 5f");
    QTest::newRow("stop") << int(CommandTable::StopScan) << 10 << hex("aa 55 61 00 60");
    QTest::newRow("10 Hz") << int(CommandTable::Rate10Hz) << 15 << hex("aa 55 64 01 00 64");
    QTest::newRow("100 Hz") << int(CommandTable::Rate100Hz) << 21 << hex("aa 55 64 01 01 65");
    QTest::newRow("200 Hz") << int(CommandTable::Rate200Hz) << 27 << hex("aa 55 64 01 02 66");
    QTest::newRow("500 Hz") << int(CommandTable::Rate500Hz) << 33 << hex("aa 55 64 01 03 67");
    QTest::newRow("1000 Hz") << int(CommandTable::Rate1000Hz) << 39 << hex("aa 55 64 01 04 68");
    QTest::newRow("1800 Hz") << int(CommandTable::Rate1800Hz) << 45 << hex("aa 55 64 01 05 69");
}

void TestCommandTable::entries()
{
    QFETCH(int, entry);
    QFETCH(int, offset);
    QFETCH(QByteArray, frame);

    const CommandTable table;
    QCOMPARE(table.frame(entry).toHex(' '), frame.toHex(' '));
    QCOMPARE(table.frameSize(entry), frame.size());
    // The frame is sent straight out of the table, not from a copy.
    QCOMPARE(static_cast<const void *>(table.frameData(entry)),
             static_cast<const void *>(table.bytes().data() + offset));

    // Each entry is a well-formed frame: header, length matching its size,
    // and a sum the device will accept.
    QCOMPARE(quint8(frame.at(0)), LidarFrame::Header1);
    QCOMPARE(quint8(frame.at(1)), LidarFrame::Header2);
    QCOMPARE(int(quint8(frame.at(3))), frame.size() - LidarFrame::Overhead);
    QCOMPARE(LidarFrame::checksum(frame.constData(), frame.size() - 1), quint8(frame.back()));
}

void TestCommandTable::entryOutsideTable_data()
{
    QTest::addColumn<int>("entry");
    QTest::newRow("-1") << -1;
    QTest::newRow("rate code 6") << CommandTable::rateEntry(6);
    QTest::newRow("far beyond") << 1000;
}

void TestCommandTable::entryOutsideTable()
{
    QFETCH(int, entry);
    const CommandTable table;
    QCOMPARE(table.frameSize(entry), 0);
    QVERIFY(table.frameData(entry) == nullptr);
    QVERIFY(table.frame(entry).isEmpty());
}

void TestCommandTable::rateEntry_data()
{
    QTest::addColumn<int>("rateCode");
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("entry"); // -1: neither is a rate the device offers

    QTest::newRow("10 Hz") << 0 << 10 << int(CommandTable::Rate10Hz);
    QTest::newRow("100 Hz") << 1 << 100 << int(CommandTable::Rate100Hz);
    QTest::newRow("200 Hz") << 2 << 200 << int(CommandTable::Rate200Hz);
    QTest::newRow("500 Hz") << 3 << 500 << int(CommandTable::Rate500Hz);
    QTest::newRow("1000 Hz") << 4 << 1000 << int(CommandTable::Rate1000Hz);
    QTest::newRow("1800 Hz") << 5 << 1800 << int(CommandTable::Rate1800Hz);
    QTest::newRow("code -1, 0 Hz") << -1 << 0 << -1;
    QTest::newRow("code one past the end, 11 Hz") << int(CommandTable::RateCount) << 11 << -1;
    QTest::newRow("far codes, 1801 Hz") << std::numeric_limits<int>::min() << 1801 << -1;
}

void TestCommandTable::rateEntry()
{
    QFETCH(int, rateCode);
    QFETCH(int, hz);
    QFETCH(int, entry);

    if (entry < 0) {
        QCOMPARE(CommandTable::rateHz(rateCode), 0);
        QCOMPARE(CommandTable::rateCode(hz), -1);
        return;
    }
    QCOMPARE(CommandTable::rateHz(rateCode), hz);
    QCOMPARE(CommandTable::rateCode(hz), rateCode);
    QCOMPARE(CommandTable::rateEntry(rateCode), entry);
    // The rate frame carries the rate code as its only payload byte.
    const QByteArray frame = CommandTable().frame(CommandTable::rateEntry(rateCode));
    QCOMPARE(quint8(frame.at(2)), LidarFrame::Command::Rate);
    QCOMPARE(int(frame.at(4)), rateCode);
}

void TestCommandTable::tableDecodesAsNineFrames()
{
    const CommandTable table;
    FrameDecoder decoder;
    QList<quint8> commands;
    QByteArray payloads;
    decoder.decode(reinterpret_cast<const char *>(table.bytes().data()), CommandTable::Size,
                   [&](const DecodedFrame &f) {
                       commands << f.command;
                       payloads += f.payloadBytes();
                   });
    QCOMPARE(commands, (QList<quint8> { 0xF0, 0x60, 0x61, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64 }));
    QCOMPARE(payloads.toHex(' '), QByteArray("00 01 02 03 04 05"));
}

QTEST_GUILESS_MAIN(TestCommandTable)
void TestCommandTable::startOutcome_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("room"); // bytes the port takes before refusing
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("stuck"); // 1: the bytes never leave; 2: nor do they when the port closes

    const QByteArray rate = hex("AA5564010367"), start = hex("AA5560005F");
    QTest::newRow("all sent") << true << 100 << rate + start + start << int(DeviceControl::Sent)
                              << 0;
    QTest::newRow("closed") << false << 100 << QByteArray() << int(DeviceControl::NotOpen) << 0;
    QTest::newRow("refused at once")
        << true << 0 << QByteArray() << int(DeviceControl::WriteFailed) << 0;
    QTest::newRow("refused at the last start")
        << true << 11 << rate + start << int(DeviceControl::WriteFailed) << 0;
    QTest::newRow("bytes never leave")
        << true << 100 << rate << int(DeviceControl::WriteFailed) << 1;
    QTest::newRow("closed with bytes queued")
        << true << 100 << rate << int(DeviceControl::NotOpen) << 2;
}

void TestCommandTable::startOutcome()
{
    QFETCH(bool, open);
    QFETCH(int, room);
    QFETCH(QByteArray, written);
    QFETCH(int, result);
    QFETCH(int, stuck);

    LimitedPort port(room, stuck > 0);
    if (open)
        QVERIFY(port.open(QIODevice::WriteOnly));
    DeviceControl control(&port);
    QSignalSpy finished(&control, &DeviceControl::startFinished);
    control.start(3);
    if (stuck == 2) {
        QTest::qWait(100);
        port.close();
    }
    // Closing drops the queued bytes: no need to wait them out.
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1,
                              stuck == 2 ? 2000 : DeviceControl::WriteTimeoutMs + 2000);
    QCOMPARE(finished.first().first().value<DeviceControl::Result>(),
             DeviceControl::Result(result));
    QCOMPARE(port.data(), written);
    QVERIFY(!control.isStarting());
}

#include "tst_commandtable.moc"
