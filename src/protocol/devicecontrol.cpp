#include "devicecontrol.h"

#include <QIODevice>

DeviceControl::DeviceControl(QIODevice *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire a little early, and the gap is a minimum.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DeviceControl::onTimer);
    if (m_port) {
        connect(m_port, &QIODevice::bytesWritten, this, &DeviceControl::onBytesWritten);
        // Closing drops what is still queued: no bytesWritten will come for it.
        connect(m_port, &QIODevice::aboutToClose, this, [this] {
            m_queued = false;
            if (isStarting())
                m_timer.start(0); // goes on after the close, to report it
        });
    }
}

DeviceControl::Result DeviceControl::send(int entry)
{
    if (!m_port || !m_port->isOpen())
        return NotOpen;
    const int size = m_table.frameSize(entry);
    if (m_port->write(m_table.frameData(entry), size) != size)
        return WriteFailed;
    if (entry >= CommandTable::Rate10Hz && entry < CommandTable::EntryCount)
        m_sentRateCode = entry - CommandTable::Rate10Hz;
    // A device without a write buffer has taken the bytes already.
    m_queued = m_port->bytesToWrite() > 0;
    if (!m_queued)
        m_sinceLeft.start();
    return Sent;
}

void DeviceControl::start(int rateCode)
{
    cancel();
    m_rateEntry = CommandTable::rateEntry(qBound(0, rateCode, CommandTable::RateCount - 1));
    m_step = 0;
    waitForGap();
}

DeviceControl::Result DeviceControl::stop()
{
    cancel();
    return send(CommandTable::StopScan);
}

void DeviceControl::cancel()
{
    m_timer.stop();
    m_step = -1;
}

void DeviceControl::onBytesWritten()
{
    if (!m_queued || m_port->bytesToWrite() > 0)
        return;
    m_queued = false;
    m_sinceLeft.start();
    if (isStarting())
        waitForGap();
}

void DeviceControl::onTimer()
{
    if (!m_queued) {
        sendNext();
        return;
    }
    // The write timeout: the bytes are still queued.
    finish(m_port->isOpen() ? WriteFailed : NotOpen);
}

// Sends the next frame of the start once the last bytes have left and the gap
// after them has passed.
void DeviceControl::waitForGap()
{
    if (!m_port || !m_port->isOpen()) {
        sendNext(); // reports it at once
        return;
    }
    if (m_queued) {
        m_timer.start(WriteTimeoutMs);
        return;
    }
    // Whole milliseconds rounded up, and one more for the far end's own
    // latency in taking the bytes.
    const qint64 waitMs
        = m_sinceLeft.isValid() ? CommandGapMs + 1 - m_sinceLeft.nsecsElapsed() / 1000000 : 0;
    if (waitMs > 0)
        m_timer.start(int(waitMs));
    else
        sendNext();
}

void DeviceControl::sendNext()
{
    const int entry = m_step == 0 ? m_rateEntry : CommandTable::StartScan;
    const Result result = send(entry);
    if (result != Sent || m_step == 2) {
        finish(result);
        return;
    }
    ++m_step;
    waitForGap();
}

void DeviceControl::finish(Result result)
{
    cancel();
    emit startFinished(result);
}
