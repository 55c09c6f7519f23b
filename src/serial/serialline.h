#pragma once

#include <QSerialPort>
#include <QStringList>

// How this tool uses a serial port, shared by the window and headless
// capture: the line settings the device expects, and which errors mean the
// device is gone.
namespace SerialLine {

// The names the system offers, in its order. Pseudo-terminals are never among
// them.
QStringList systemPortNames();

// 8 data bits, no parity, one stop bit, no flow control, at `baudRate`. A
// rate the port refuses (0 from text that is not a number) fails the open.
void configure(QSerialPort &port, const QString &name, qint32 baudRate);

// A vanished device shows as a resource error when the read fails, but as a
// read error, repeated without end, when the line hangs up (end of file).
// Other errors belong to a failed open, which reports them itself.
inline bool isDeviceLost(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
}

// What a person is told when the device on `port` is lost, with the system's
// own text last: that text alone is often a misleading "Unknown error".
QString lostMessage(const QString &port, const QString &systemText);

} // namespace SerialLine
