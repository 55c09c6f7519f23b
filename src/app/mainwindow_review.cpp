// The chart's context menu, each entry also on a key (see reviewactions.h):
// recording frames to CSV, freezing and clearing what is shown, saving the
// samples and copying the statistics, and how the curves are scaled.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "reviewtext.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>

void MainWindow::setupReview()
{
    baseTitle = windowTitle();
    saveFileDialog = [](QWidget *parent, const QString &caption, const QString &proposed,
                        const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
    };
    if (settings) // none when config.ini is not a regular file
        reviewSettings.read(*settings);

    Chart *chart = ui->chart;
    chart->setContextMenuPolicy(Qt::ActionsContextMenu);
    chart->addActions(reviewActions.menu);
    chart->fixedRanges = reviewSettings.fixedRanges;
    chart->showScale = reviewSettings.showScale;
    reviewActions.fixedRanges->setChecked(chart->fixedRanges);
    reviewActions.showScale->setChecked(chart->showScale);

    // triggered, not toggled: it comes from the user alone, so setting the
    // checked state to what is true never acts again.
    connect(reviewActions.record, &QAction::triggered, this, &MainWindow::toggleRecording);
    connect(reviewActions.freeze, &QAction::triggered, this, [this](bool on) {
        ui->chart->setFrozen(on);
        showReviewState();
    });
    connect(reviewActions.clear, &QAction::triggered, ui->chart, &Chart::clear);
    connect(reviewActions.saveSamples, &QAction::triggered, this, &MainWindow::saveSamples);
    connect(reviewActions.copyStatistics, &QAction::triggered, this, &MainWindow::copyStatistics);
    connect(reviewActions.fixedRanges, &QAction::triggered, this, [this](bool on) {
        ui->chart->fixedRanges = reviewSettings.fixedRanges = on;
        ui->chart->update();
    });
    connect(reviewActions.showScale, &QAction::triggered, this, [this](bool on) {
        ui->chart->showScale = reviewSettings.showScale = on;
        ui->chart->update();
    });
}

void MainWindow::closeReview()
{
    if (isRecording() && !stopRecording())
        warnRecording(tr("The end of the recording could not be written."));
    // With the channel settings, and only what differs from the file.
    if (settings)
        reviewSettings.write(*settings);
}

bool MainWindow::startRecording(const QString &path)
{
    const bool ok = recorder.open(path);
    showReviewState();
    return ok;
}

bool MainWindow::stopRecording()
{
    const bool ok = recorder.close();
    showReviewState();
    return ok;
}

void MainWindow::toggleRecording(bool on)
{
    if (!on) {
        if (!stopRecording())
            warnRecording(tr("The end of the recording could not be written."));
        return;
    }
    const QString path = askSaveFile(tr("Record to CSV"), QStringLiteral("tav47-"));
    if (path.isEmpty())
        showReviewState(); // unchecks the action again
    else if (!startRecording(path))
        warnRecording(tr("The recording could not start."));
}

void MainWindow::flushRecording()
{
    // Only while open: a failed write closes the file, so the message comes
    // once, even as the timer goes on under the message box.
    if (recorder.isOpen() && !recorder.flushIfDue()) {
        showReviewState();
        warnRecording(tr("Recording stopped: a write failed. The rows before it are kept."));
    }
}

void MainWindow::warnRecording(const QString &what)
{
    QMessageBox::warning(this, tr("Recording"),
                         QStringLiteral("%1\n\n%2").arg(what, recorder.error()));
}

QString MainWindow::askSaveFile(const QString &caption, const QString &namePrefix)
{
    // The program runs in its own folder, which is no place for data.
    QString folder = reviewSettings.folder;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString name = namePrefix
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".csv");
    const QString path = saveFileDialog(this, caption, QDir(folder).filePath(name),
                                        tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        reviewSettings.folder = QFileInfo(path).absolutePath();
    return path;
}

void MainWindow::saveSamples()
{
    // The samples shown when asked: frames go on arriving while the dialog is up.
    QStringList names;
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k)
        names.append(channelLabels.at(k)->text());
    const QByteArray samples = ReviewText::samplesCsv(ui->chart->shownModel(), names);
    const QString path = askSaveFile(tr("Save Samples"), QStringLiteral("tav47-samples-"));
    if (path.isEmpty())
        return;
    // Written aside and renamed over the file: a failed save leaves an older
    // file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(samples) < 0 || !file.commit())
        QMessageBox::warning(
            this, tr("Save Samples"),
            tr("The samples could not be saved.\n\n%1: %2").arg(path, file.errorString()));
}

void MainWindow::copyStatistics()
{
    QStringList names, values;
    for (int k = 0; k < readoutEdits.size(); ++k) {
        names.append(channelLabels.at(k)->text());
        values.append(readoutEdits.at(k)->text());
    }
    QGuiApplication::clipboard()->setText(ReviewText::statistics(names, values));
}

void MainWindow::showReviewState()
{
    const bool recording = isRecording();
    const bool frozen = ui->chart->isFrozen();
    reviewActions.record->setChecked(recording);
    reviewActions.freeze->setChecked(frozen);
    if (ui->chart->showRecordingMark != recording) {
        ui->chart->showRecordingMark = recording;
        ui->chart->update();
    }
    QStringList states;
    if (recording)
        states.append(tr("recording"));
    if (frozen)
        states.append(tr("frozen"));
    setWindowTitle(states.isEmpty() ? baseTitle
                                    : QStringLiteral("%1 — %2").arg(
                                        baseTitle, states.join(QStringLiteral(", "))));
}
