#pragma once

// The main window. Its slots keep the names the form and the serial port bind
// them by, and each is a thin call into the plain classes below it. They live
// in files named after what they hold:
//   mainwindow.cpp          construction, the repaint timer, closing, About
//   mainwindow_serial.cpp   the port: open, close, read, loss, Refresh
//   mainwindow_scan.cpp     Start and Stop Scan, and decoding what arrives
// The readouts, channel names and toggles with their config.ini sections are
// the channel panel's (channelpanel.h); the chart's context menu (recording,
// freezing, clearing, saving, copying, ranges and scale) is the chart
// panel's (chartpanel.h).
// Historic names, fixed by the form: the "_1" suffix marks the serial-port
// slots, pushButton is About QT, detectBtn is Refresh, and LidarModeCombo
// chooses the measurement rate.

#include "chartpanel.h"
#include "commandtable.h"
#include "devicecontrol.h"
#include "linkhealth.h"
#include "measurement.h"
#include "measurementfeed.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMutex>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <functional>

class ChannelPanel;
class LinkPanel;
class LogWindow;
class HistoryPanel;
class HistoryWindow;
class CounterText;
class QSettings;
class QTextCodec;

namespace Ui {
class MainWindow;
}
using MainWindowUi = Ui::MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Where the Refresh button learns which ports exist. The real tool asks the
    // system; the demo adds its simulated port.
    using PortNameSource = std::function<QStringList()>;
    static QStringList systemPortNames();

    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(PortNameSource portNames, QWidget *parent = nullptr);
    ~MainWindow() override;

    const Measurement &currentMeasurement() const { return feed.latest(); }
    quint64 receivedByteCount() const { return feed.bytesReceived(); }
    quint64 decodedFrameCount() const { return feed.measurementFrames(); }

    // A tool told of one more port (a device by its /dev/serial/by-id name,
    // a simulator's pseudo-terminal): the system's ports and `path`, which
    // Refresh then never drops. selectPort() makes a listed port the current.
    static PortNameSource withPort(const QString &path);
    void selectPort(const QString &path);

    // The chart panel's (see there).
    using SaveFileDialog = ChartPanel::SaveFileDialog;
    void setSaveFileDialog(SaveFileDialog dialog)
    {
        chartPanel->setSaveFileDialog(std::move(dialog));
    }
    bool startRecording(const QString &path) { return chartPanel->startRecording(path); }
    bool stopRecording() { return chartPanel->stopRecording(); }
    bool isRecording() const { return chartPanel->isRecording(); }
    QString recordingError() const { return chartPanel->recordingError(); }

    // The History window, shown, with `recording` loading when one is named.
    HistoryWindow *showHistory(const QString &recording = QString());

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void openSerialPort_1();
    void closeSerialPort_1();
    void readData_1();
    void handleError_1(QSerialPort::SerialPortError error);
    void on_openBtn_clicked();
    void on_detectBtn_clicked();
    void on_Lidar_StartBtn_clicked(bool checked);
    void on_Lidar_StopBtn_clicked(bool checked);
    void on_pushButton_clicked();
    void timer_task();

private:
    void decodeData(const QByteArray &chunk);
    void showScanResult(DeviceControl::Result result, const QString &whenSent);
    void setStatus(const QString &text);
    void fitStatusField();

    MainWindowUi *ui;
    QSerialPort *serialPort;
    QTextCodec *localeCodec;
    CounterText *receivedText = nullptr; // RcvCnt's text, set without relaying out the window
    MeasurementFeed feed; // its rate sets the chart's time span
    LinkHealth linkHealth; // the Rx count's tooltip and the chart's warning
    QElapsedTimer linkClock;
    QMutex dataMutex;
    QSettings *settings;
    DeviceControl *deviceControl; // the command frames and the waits between them
    PortNameSource portNameSource;
    // Children, made once the form is up.
    ChannelPanel *channels = nullptr;
    ChartPanel *chartPanel = nullptr;
    LinkPanel *link = nullptr;
    LogWindow *measurementLog = nullptr;
    HistoryPanel *history = nullptr;
};
