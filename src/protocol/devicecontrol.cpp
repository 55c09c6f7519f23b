#include "devicecontrol.h"

#include <QIODevice>

DeviceControl::DeviceControl(QIODevice *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_gap.setSingleShot(true);
    // A coarse timer may fire a little early, and the gap is a minimum.
    m_gap.setTimerType(Qt::PreciseTimer);
    m_gap.setInterval(CommandGapMs);
    connect(&m_gap, &QTimer::timeout, this, &DeviceControl::sendNext);
}

DeviceControl::Result DeviceControl::send(int entry)
{
    if (!m_port || !m_port->isOpen())
        return NotOpen;
    const int size = m_table.frameSize(entry);
    return m_port->write(m_table.frameData(entry), size) == size ? Sent : WriteFailed;
}

void DeviceControl::start(int rateCode)
{
    cancel();
    m_rateEntry = CommandTable::rateEntry(qBound(0, rateCode, CommandTable::RateCount - 1));
    sendNext();
}

DeviceControl::Result DeviceControl::stop()
{
    cancel();
    return send(CommandTable::StopScan);
}

void DeviceControl::cancel()
{
    m_gap.stop();
    m_step = 0;
}

void DeviceControl::sendNext()
{
    const int entry = m_step == 0 ? m_rateEntry : CommandTable::StartScan;
    const Result result = send(entry);
    if (result != Sent || m_step == 2) {
        cancel();
        emit startFinished(result);
        return;
    }
    ++m_step;
    m_gap.start();
}
