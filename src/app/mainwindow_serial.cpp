// Opening, closing, reading and losing the one serial port, and the list of
// ports to choose from.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "countertext.h"
#include "linkpanel.h"
#include "portlist.h"
#include "serialline.h"

#include <QMessageBox>
#include <QMutexLocker>

namespace {
const char StatusProperty[] = "status"; // true while the port is open
}

void MainWindow::on_openBtn_clicked()
{
    if (ui->openBtn->property(StatusProperty).toBool())
        closeSerialPort_1();
    else
        openSerialPort_1();
}

void MainWindow::openSerialPort_1()
{
    // Not a number ("customer") gives 0, which the port then refuses to open.
    SerialLine::configure(*serialPort, ui->portnameCombo->currentText(),
                          ui->baudRateCombo->currentText().toInt(nullptr, 10));

    // A start cut short by closing the port must not go on into this one.
    deviceControl->cancel();
    feed.resetCounters();
    linkHealth.reset(feed, linkClock.elapsed());
    receivedText->setText(QStringLiteral("0"));

    if (!serialPort->open(QIODevice::ReadWrite)) {
        QMessageBox::critical(this, tr("Error"), serialPort->errorString(), QMessageBox::Ok,
                              QMessageBox::NoButton);
        setStatus(tr("串口打开失败"));
        return;
    }

    // The device may still be streaming from an earlier session.
    deviceControl->send(CommandTable::StopScan);
    ui->detectBtn->setEnabled(false);
    setStatus(
        tr("打开 %1 : %2").arg(ui->portnameCombo->currentText(), ui->baudRateCombo->currentText()));
    ui->openBtn->setProperty(StatusProperty, true);
    ui->openBtn->setText(QStringLiteral("close"));
    ui->baudRateCombo->setEnabled(false);
    ui->portnameCombo->setEnabled(false);
    chartPanel->noteLineOpened(ui->portnameCombo->currentText(), serialPort->baudRate());
}

void MainWindow::closeSerialPort_1()
{
    chartPanel->noteLineClosed(false);
    if (serialPort->isOpen())
        serialPort->close();
    linkHealth.reset(feed, linkClock.elapsed()); // no warning about a line no longer read
    ui->detectBtn->setEnabled(true);
    ui->openBtn->setProperty(StatusProperty, false);
    ui->openBtn->setText(QStringLiteral("open"));
    ui->baudRateCombo->setEnabled(true);
    ui->portnameCombo->setEnabled(true);
    setStatus(tr("串口关闭"));
}

void MainWindow::handleError_1(QSerialPort::SerialPortError error)
{
    if (!serialPort->isOpen())
        return;
    if (error == QSerialPort::WriteError) {
        // Bytes already accepted by write() that the line then refused.
        deviceControl->cancel();
        setStatus(tr("串口写入失败"));
        return;
    }
    if (!SerialLine::isDeviceLost(error))
        return;

    // The system's own text is often a misleading "Inappropriate ioctl for
    // device": say first which port was lost and what that means.
    const QString message
        = SerialLine::lostMessage(ui->portnameCombo->currentText(), serialPort->errorString());
    serialPort->close(); // first, so no further errors pour in while the box is up
    chartPanel->noteLineClosed(true);
    QMessageBox::critical(this, tr("Critical Error"), message, QMessageBox::Ok,
                          QMessageBox::NoButton);
    closeSerialPort_1();
}

void MainWindow::readData_1()
{
    // RcvCnt shows the feed's byte total at the next repaint tick (timer_task):
    // at high rates reads come far more often than a person can read a number.
    if (link->isSearching())
        return; // its frames, at rates being tried, are no measurements
    const QByteArray data = serialPort->readAll();
    QMutexLocker locker(&dataMutex);
    decodeData(data);
}

void MainWindow::on_detectBtn_clicked()
{
    QComboBox *combo = ui->portnameCombo;
    QStringList items;
    items.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));

    const PortListChange change = mergePortList(items, combo->currentIndex(), portNameSource());

    // Applied as edits, so ports that stay keep their place: the rule only
    // removes items and appends new ones.
    int i = 0;
    while (i < combo->count()) {
        if (i < change.items.size() && combo->itemText(i) == change.items.at(i))
            ++i;
        else
            combo->removeItem(i);
    }
    for (; i < change.items.size(); ++i)
        combo->addItem(change.items.at(i));
    // The selection the rule chose, whatever the edits left selected.
    combo->setCurrentIndex(change.currentIndex);

    setStatus(change.report);
}
