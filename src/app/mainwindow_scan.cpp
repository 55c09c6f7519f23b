// Starting and stopping the device, and turning its byte stream into
// measurements.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "linkpanel.h"

void MainWindow::showScanResult(DeviceControl::Result result, const QString &whenSent)
{
    switch (result) {
    case DeviceControl::Sent:
        setStatus(whenSent);
        break;
    case DeviceControl::NotOpen:
        setStatus(tr("串口未打开"));
        break;
    case DeviceControl::WriteFailed:
        setStatus(tr("串口写入失败"));
        break;
    }
}

void MainWindow::on_Lidar_StartBtn_clicked(bool)
{
    // The outcome is shown when the last frame has gone out (or one could not):
    // see the startFinished connection in the constructor.
    if (link->refuseWhileSearching())
        return;
    deviceControl->start(ui->LidarModeCombo->currentIndex());
}

void MainWindow::on_Lidar_StopBtn_clicked(bool)
{
    if (link->refuseWhileSearching())
        return;
    const DeviceControl::Result result = deviceControl->stop();
    if (result == DeviceControl::Sent)
        chartPanel->noteStopped();
    showScanResult(result, tr("停止扫描"));
}

void MainWindow::decodeData(const QByteArray &chunk)
{
    // To the chart's model, then to the recorder while it is open.
    feed.receive(chunk);
}
