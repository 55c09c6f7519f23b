#include "serialline.h"

#include <QCoreApplication>
#include <QSerialPortInfo>

namespace SerialLine {

QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

void configure(QSerialPort &port, const QString &name, qint32 baudRate)
{
    port.setPortName(name);
    port.setBaudRate(baudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

QString lostMessage(const QString &port, const QString &systemText)
{
    return QCoreApplication::translate("MainWindow",
                                       "%1 已断开：设备被拔出或断电。\n\n系统信息：%2")
        .arg(port, systemText);
}

} // namespace SerialLine
