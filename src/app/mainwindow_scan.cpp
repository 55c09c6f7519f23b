// Starting and stopping the device, and turning its byte stream into
// measurements.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "measurementstream.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
constexpr int CommandGapMs = 400; // the device needs this long between commands
}

bool MainWindow::sendCommand(int entry)
{
    if (!serialPort->isOpen())
        return false;
    serialPort->write(commandTable.frameData(entry), commandTable.frameSize(entry));
    return true;
}

void MainWindow::on_Lidar_StartBtn_clicked(bool)
{
    const int rate = qBound(0, ui->LidarModeCombo->currentIndex(), CommandTable::RateCount - 1);
    const int sequence[]
        = { CommandTable::rateEntry(rate), CommandTable::StartScan, CommandTable::StartScan };
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            delay(CommandGapMs);
        // The port may have been closed while we waited.
        if (!sendCommand(sequence[i])) {
            setStatus(tr("串口未打开"));
            return;
        }
    }
    setStatus(tr("开启扫描"));
}

void MainWindow::on_Lidar_StopBtn_clicked(bool)
{
    setStatus(sendCommand(CommandTable::StopScan) ? tr("停止扫描") : tr("串口未打开"));
}

void MainWindow::delay(int milliseconds)
{
    // Sleeps in a local event loop, so reads, repaints and clicks go on, and
    // measures on the monotonic clock. A precise timer is used because a
    // coarse one may fire a little early.
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = milliseconds; left > 0; left = milliseconds - clock.elapsed()) {
        QEventLoop loop;
        QTimer::singleShot(int(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void MainWindow::decodeData(const QByteArray &chunk)
{
    ChannelModel &model = ui->chart->model();
    decodedFrames += quint64(
        decodeMeasurements(frameDecoder, measurement, chunk,
                           [&model](const Measurement &latest) { model.addMeasurement(latest); }));
}
