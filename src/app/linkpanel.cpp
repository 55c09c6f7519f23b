#include "linkpanel.h"

#include "baudsearch.h"
#include "chart.h"
#include "chartrangesdialog.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSerialPort>

LinkPanel::LinkPanel(QWidget *window, Chart *chart, QSerialPort *port, QComboBox *baudCombo,
                     QList<QLabel *> names, StatusSink status, std::function<void()> saveRanges,
                     std::function<bool()> sending)
    : QObject(window)
    , m_window(window)
    , m_chart(chart)
    , m_port(port)
    , m_baudCombo(baudCombo)
    , m_names(std::move(names))
    , m_status(std::move(status))
    , m_saveRanges(std::move(saveRanges))
    , m_sending(std::move(sending))
    , m_search(new BaudSearch(port, this))
    , m_findBaud(new QAction(tr("Find &Baud Rate"), window))
    , m_ranges(new QAction(tr("Chart Ran&ges…"), window))
{
    m_findBaud->setObjectName(QStringLiteral("actionFindBaudRate"));
    m_ranges->setObjectName(QStringLiteral("actionChartRanges"));
    auto *separator = new QAction(window);
    separator->setSeparator(true);
    chart->addActions({ separator, m_findBaud, m_ranges });

    connect(m_findBaud, &QAction::triggered, this, &LinkPanel::findBaudRate);
    connect(m_ranges, &QAction::triggered, this, [this] {
        ChartRangesDialog *dialog = rangesDialog();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    connect(m_search, &BaudSearch::finished, this, [this](BaudSearch::Outcome outcome) {
        m_findBaud->setEnabled(true);
        if (outcome == BaudSearch::Cancelled)
            return; // the port closed, which the status says
        if (outcome == BaudSearch::Found) {
            const QString rate = QString::number(m_search->foundRate());
            const int index = m_baudCombo->findText(rate);
            if (index >= 0)
                m_baudCombo->setCurrentIndex(index);
            else
                m_baudCombo->setEditText(rate);
        }
        m_status(m_search->report(outcome));
    });
}

bool LinkPanel::isSearching() const
{
    return m_search->isRunning();
}

bool LinkPanel::refuseWhileSearching()
{
    if (!isSearching())
        return false;
    m_status(tr("Finding the baud rate: nothing is sent until it ends"));
    return true;
}

void LinkPanel::findBaudRate()
{
    if (!m_port->isOpen()) {
        m_status(tr("Find Baud Rate: open the port first, with the device streaming"));
        return;
    }
    // Frames still to go out would leave at a rate being tried.
    if (m_sending() || m_port->bytesToWrite() > 0) {
        m_status(tr("Find Baud Rate: a command is still being sent; try again in a moment"));
        return;
    }
    // The rates of the BaudRate box, each once; "customer" is none.
    QList<qint32> rates;
    for (int i = 0; i < m_baudCombo->count(); ++i) {
        bool ok = false;
        const qint32 rate = m_baudCombo->itemText(i).toInt(&ok, 10);
        if (ok && rate > 0 && !rates.contains(rate))
            rates.append(rate);
    }
    if (!m_search->start(rates))
        return;
    m_findBaud->setEnabled(false);
    m_status(tr("Finding the baud rate: %1 ms at each of %2 rates…")
                 .arg(BaudSearch::ListenMs)
                 .arg(rates.size()));
}

ChartRangesDialog *LinkPanel::rangesDialog()
{
    if (!m_dialog) {
        QStringList names;
        for (QLabel *label : m_names)
            names.append(label->text());
        m_dialog = new ChartRangesDialog(m_window, m_chart, names);
        connect(m_dialog, &QDialog::finished, this, [this] { m_saveRanges(); });
    }
    return m_dialog;
}
