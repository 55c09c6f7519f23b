#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutqt.h"
#include "backdropcache.h"
#include "channelpanel.h"
#include "channelsettings.h"
#include "countertext.h"
#include "historypanel.h"
#include "linkpanel.h"
#include "logwindow.h"
#include "serialline.h"
#include "shownrate.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleOptionFrame>
#include <QTextCodec>
#include <QTimer>

QStringList MainWindow::systemPortNames()
{
    return SerialLine::systemPortNames();
}

MainWindow::PortNameSource MainWindow::withPort(const QString &path)
{
    return [path] {
        QStringList names = systemPortNames();
        if (!names.contains(path))
            names.append(path);
        return names;
    };
}

void MainWindow::selectPort(const QString &path)
{
    const int index = ui->portnameCombo->findText(path);
    if (index >= 0)
        ui->portnameCombo->setCurrentIndex(index);
}

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(&MainWindow::systemPortNames, parent)
{ }

MainWindow::MainWindow(PortNameSource portNames, QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowUi)
    , serialPort(new QSerialPort(this))
    , localeCodec(QTextCodec::codecForName("System"))
    , settings(openSettingsFile(settingsFilePath(QCoreApplication::applicationDirPath(),
                                                 QStandardPaths::writableLocation(
                                                     QStandardPaths::AppConfigLocation)))
                   .release())
    , deviceControl(new DeviceControl(serialPort, this))
    , portNameSource(std::move(portNames))
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    // The icon and read-me live in the widgets library, which is static: the
    // linker keeps their registration only when something refers to it.
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    setWindowTitle(tr("TAV47-V1.2"));

    // Not every platform has a codec named "System" (Linux has none); the
    // toolkit's own locale codec stays in force then.
    if (!localeCodec)
        localeCodec = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(localeCodec);

    ui->baudRateCombo->setCurrentIndex(0);
    // Inline completion would turn a typed "1" into 1500000 behind the user's
    // back: the text typed is the rate used.
    ui->baudRateCombo->setCompleter(nullptr);
    fitStatusField();
    // Room for ten digits from the start: the window keeps its size until
    // 10 GB have come in, days at the device's highest rate.
    receivedText = new CounterText(ui->RcvCnt, 10);
    // The readouts and the Rx count repaint ten times a second; the group
    // boxes around them need not draw their frames each time.
    new BackdropCache(ui->groupBox_3);
    new BackdropCache(ui->groupBox_5);

    const QList<QLineEdit *> readouts
        = { ui->val1, ui->val2, ui->val3, ui->val4, ui->val5, ui->val6, ui->val7 };
    const QList<Varlabel *> labels
        = { ui->param1, ui->param2, ui->param3, ui->param4, ui->param5, ui->param6, ui->param7 };
    channels = new ChannelPanel(this, ui->chart, readouts, labels, settings);
    chartPanel
        = new ChartPanel(this, ui->chart, { labels.cbegin(), labels.cend() }, readouts, settings);
    link = new LinkPanel(
        this, ui->chart, serialPort, ui->baudRateCombo, { labels.cbegin(), labels.cend() },
        [this](const QString &text) { setStatus(text); }, [this] { channels->save(); },
        [this] { return deviceControl->isStarting(); });
    feed.addListener(&ui->chart->model());
    feed.addListener(&chartPanel->recorder());
    measurementLog = new LogWindow(this, settings);
    feed.addListener(&measurementLog->averager());
    ui->chart->addAction(measurementLog->measureAction());
    connect(measurementLog, &LogWindow::pointStarted, chartPanel, [this](const QString &detail) {
        chartPanel->noteEvent(QStringLiteral("measure_point"), detail);
    });
    connect(chartPanel, &ChartPanel::notice, this, &MainWindow::setStatus);
    history = new HistoryPanel(this, ui->chart);
    feed.addListener(&history->intake());
    connect(ui->chart, &Chart::updateUi, this, [this] { channels->refresh(feed.latest()); });
    connect(serialPort, &QSerialPort::errorOccurred, this, &MainWindow::handleError_1);
    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::readData_1);
    connect(deviceControl, &DeviceControl::startFinished, this,
            [this](DeviceControl::Result result) {
                feed.resetRate(); // frames from now on come at the new rate
                if (result == DeviceControl::Sent)
                    chartPanel->noteStarted(CommandTable::rateHz(deviceControl->rateCode()));
                showScanResult(result, tr("开启扫描"));
            });

    linkClock.start();
    auto *repaintTimer = new QTimer(this);
    connect(repaintTimer, SIGNAL(timeout()), this, SLOT(timer_task()));
    repaintTimer->start(100);

    on_detectBtn_clicked();
    ui->LidarModeCombo->setCurrentIndex(1);
}

MainWindow::~MainWindow()
{
    delete settings; // null when config.ini is not a regular file
    delete ui;
}

void MainWindow::timer_task()
{
    // The chart's time span: the rate the frames are measured arriving at,
    // or before one is, the rate of the last start sent. Frozen samples keep
    // the span they were taken with.
    feed.sampleRate();
    const int commandedHz = CommandTable::rateHz(deviceControl->rateCode());
    if (!ui->chart->isFrozen()) {
        const int hz = shownRateHz(commandedHz, feed.rateHz());
        const bool measured = qRound(feed.rateHz()) > 0;
        ui->chart->changeLook([hz, measured](ChartLook &look) {
            look.rateHz = hz;
            look.rateMeasured = measured;
        });
    }
    linkHealth.update(feed, linkClock.elapsed());
    const QString warning = linkHealth.cornerText();
    ui->chart->changeLook([&warning](ChartLook &look) { look.linkWarning = warning; });
    // The readouts follow every repaint (updateUi). Set now, they are drawn
    // with the chart instead of asking from inside its repaint for one of
    // their own; the refresh after it finds them current unless a frame came
    // in between. Set on every tick, text typed into one goes while the
    // device is silent too; an unchanged one is not touched.
    channels->refresh(feed.latest());
    // The only regular repaint: acquisition never asks for one, so the cost
    // of drawing does not grow with the measurement rate. Nothing new to show
    // (no sample, no setting changed), nothing drawn: an idle window is idle.
    if (!ui->chart->isFrozen() && !ui->chart->isUpToDate())
        ui->chart->update();
    chartPanel->flushRecording();
    // The received-byte total, at the same pace and only when it moved.
    receivedText->setText(QString::number(feed.bytesReceived()));
    const QString tip = LinkHealth::toolTip(feed, commandedHz);
    if (ui->RcvCnt->toolTip() != tip)
        ui->RcvCnt->setToolTip(tip);
}

HistoryWindow *MainWindow::showHistory(const QString &recording)
{
    return history->show(recording);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Nothing goes to the device once the window is gone.
    deviceControl->cancel();
    chartPanel->close();
    measurementLog->save();
    measurementLog->close();
    channels->save();
    QMainWindow::closeEvent(event);
}

void MainWindow::setStatus(const QString &text)
{
    QLineEdit *field = ui->statusLineEdit;
    field->setText(text);
    // A line edit scrolls to its cursor, at the end: a narrow field would show
    // "打开" of "串口未打开". The start is what must be read.
    field->setCursorPosition(0);
    field->setToolTip(text);
}

void MainWindow::fitStatusField()
{
    // However long the Rx count grows, the field keeps room for the longest
    // of the fixed status texts.
    const QString fixedTexts[]
        = { tr("串口打开失败"), tr("串口写入失败"), tr("串口未打开"),  tr("串口关闭"),
            tr("开启扫描"),     tr("停止扫描"),     tr("没有可用串口") };
    QLineEdit *field = ui->statusLineEdit;
    int widest = 0;
    for (const QString &text : fixedTexts)
        widest = qMax(widest, field->fontMetrics().horizontalAdvance(text));
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    const QMargins margins = field->textMargins();
    // Two pixels each side are the line edit's own inner margin.
    const int content = widest + margins.left() + margins.right() + 2 * 2 + 1;
    field->setMinimumWidth(
        field->style()
            ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(content, field->height()), field)
            .width());
}

void MainWindow::on_pushButton_clicked()
{
    auto *about = new AboutQT(nullptr);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}
