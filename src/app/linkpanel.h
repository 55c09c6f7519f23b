#pragma once

#include <QObject>
#include <QString>

#include <functional>

class BaudSearch;
class Chart;
class QAction;
class QComboBox;
class QLabel;
class QSerialPort;
class QWidget;
class ChartRangesDialog;

// The bench engineer's look at the line and the scales, as actions of the
// window and the chart's menu:
//   Find Baud Rate   listens at each rate of the BaudRate box and keeps the one
//                    that decodes frames (BaudSearch), saying so in the status
//   Chart Ranges…    Min and Max of each curve for Fixed Ranges, at once
class LinkPanel : public QObject
{
    Q_OBJECT

public:
    using StatusSink = std::function<void(const QString &)>;
    // `names` are the channels' labels; `saveRanges` keeps changed ranges in
    // config.ini; `sending` is true while commands are still to go out.
    LinkPanel(QWidget *window, Chart *chart, QSerialPort *port, QComboBox *baudCombo,
              QList<QLabel *> names, StatusSink status, std::function<void()> saveRanges,
              std::function<bool()> sending);

    // While true the search reads the port: the window must not.
    bool isSearching() const;
    // True, saying why in the status, while a search runs: a command sent
    // meanwhile would go out at a rate being tried, which the device may not
    // understand.
    bool refuseWhileSearching();
    void findBaudRate();
    ChartRangesDialog *rangesDialog();

private:
    QWidget *m_window;
    Chart *m_chart;
    QSerialPort *m_port;
    QComboBox *m_baudCombo;
    QList<QLabel *> m_names;
    StatusSink m_status;
    std::function<void()> m_saveRanges;
    std::function<bool()> m_sending;
    BaudSearch *m_search;
    QAction *m_findBaud;
    QAction *m_ranges;
    ChartRangesDialog *m_dialog = nullptr;
};
