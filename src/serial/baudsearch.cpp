#include "baudsearch.h"

#include "measurement.h"

#include <QSerialPort>

BaudSearch::BaudSearch(QSerialPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // a minimum: each rate gets its whole time
    connect(&m_timer, &QTimer::timeout, this, &BaudSearch::endListening);
    connect(m_port, &QSerialPort::readyRead, this, &BaudSearch::read);
    connect(m_port, &QSerialPort::aboutToClose, this, &BaudSearch::cancel);
}

bool BaudSearch::start(const QList<qint32> &rates)
{
    if (m_running || !m_port->isOpen() || rates.isEmpty())
        return false;
    m_rates = rates;
    m_userRate = m_port->baudRate();
    m_bestFrames = 0;
    m_foundRate = 0;
    m_running = true;
    m_clock.start();
    listenAt(0);
    return true;
}

void BaudSearch::listenAt(int index)
{
    m_index = index;
    m_frames = 0;
    m_decoder.reset();
    // A rate the port refuses decodes nothing; the next is tried all the same.
    m_port->setBaudRate(m_rates.at(index));
    // What came in at the rate before is no evidence for this one.
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
    m_timer.start(ListenMs);
}

void BaudSearch::read()
{
    if (!m_running)
        return;
    m_decoder.decode(m_port->readAll(), [this](const DecodedFrame &frame) {
        if (frame.length >= Measurement::PayloadSize)
            ++m_frames;
    });
}

void BaudSearch::endListening()
{
    read();
    // On a tie the rate tried first stays: the list starts with the likely ones.
    if (m_frames > m_bestFrames) {
        m_bestFrames = m_frames;
        m_foundRate = m_rates.at(m_index);
    }
    if (m_index + 1 < m_rates.size()) {
        listenAt(m_index + 1);
        return;
    }
    const bool found = m_bestFrames > 0;
    m_port->setBaudRate(found ? m_foundRate : m_userRate);
    // The last rate's bytes must not reach the reader of the chosen one.
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
    finish(found ? Found : NoneDecoded);
}

void BaudSearch::cancel()
{
    if (m_running)
        finish(Cancelled);
}

void BaudSearch::finish(Outcome outcome)
{
    m_timer.stop();
    m_running = false;
    m_elapsedMs = m_clock.elapsed();
    emit finished(outcome);
}

QString BaudSearch::report(Outcome outcome) const
{
    switch (outcome) {
    case Found:
        return (m_foundRate == m_userRate
                    ? tr("Baud rate %1 decodes %2 frames in %3 ms: the port stays at it")
                    : tr("Baud rate %1 decodes %2 frames in %3 ms: port and BaudRate set to it"))
            .arg(m_foundRate)
            .arg(m_bestFrames)
            .arg(ListenMs);
    case NoneDecoded:
        return tr("No baud rate decoded a frame (start the device first): the port is back at %1")
            .arg(m_userRate);
    case Cancelled:
        break;
    }
    return tr("Baud rate search cancelled: the port was closed");
}
