#include "chartpanel.h"

#include "chart.h"
#include "screentext.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>

namespace {

const char Group[] = "Review";
const char FolderKey[] = "Folder";
const char FixedRangesKey[] = "FixedRanges";
const char ShowScaleKey[] = "ShowScale";

// The file's text is compared as the type it is read as: "true" is true.
void writeChanged(QSettings &file, const char *key, const QString &value, const QString &absent)
{
    const QString name = QLatin1String(key);
    if (file.value(name, absent).toString() != value)
        file.setValue(name, value);
}

void writeChanged(QSettings &file, const char *key, bool value, bool absent)
{
    const QString name = QLatin1String(key);
    if (file.value(name, absent).toBool() != value)
        file.setValue(name, value);
}

QAction *makeAction(QObject *owner, const char *name, const QString &text,
                    const QList<QKeySequence> &keys, bool checkable)
{
    auto *action = new QAction(text, owner);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    // Anywhere in the window, not only while the chart has the focus.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(checkable);
    return action;
}

QAction *makeSeparator(QObject *owner)
{
    auto *s = new QAction(owner);
    s->setSeparator(true);
    return s;
}

} // namespace

void ChartPanel::Saved::read(QSettings &file)
{
    file.beginGroup(QLatin1String(Group));
    folder = file.value(QLatin1String(FolderKey), folder).toString();
    fixedRanges = file.value(QLatin1String(FixedRangesKey), fixedRanges).toBool();
    showScale = file.value(QLatin1String(ShowScaleKey), showScale).toBool();
    file.endGroup();
}

void ChartPanel::Saved::write(QSettings &file) const
{
    const Saved defaults;
    file.beginGroup(QLatin1String(Group));
    writeChanged(file, FolderKey, folder, defaults.folder);
    writeChanged(file, FixedRangesKey, fixedRanges, defaults.fixedRanges);
    writeChanged(file, ShowScaleKey, showScale, defaults.showScale);
    file.endGroup();
}

ChartPanel::ChartPanel(QWidget *window, Chart *chart, QList<QLabel *> names,
                       QList<QLineEdit *> readouts, QSettings *settings)
    : QObject(window)
    , m_window(window)
    , m_chart(chart)
    , m_names(std::move(names))
    , m_readouts(std::move(readouts))
    , m_settings(settings)
    , m_saveFileDialog([](QWidget *parent, const QString &caption, const QString &proposed,
                          const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
    })
    , m_baseTitle(window->windowTitle())
    , m_record(makeAction(window, "actionRecord", tr("&Record to CSV…"),
                          { QKeySequence(Qt::CTRL | Qt::Key_R) }, true))
    , m_freeze(makeAction(window, "actionFreeze", tr("&Freeze"),
                          { QKeySequence(Qt::Key_F9), QKeySequence(Qt::Key_Pause) }, true))
    , m_clear(makeAction(window, "actionClear", tr("C&lear"),
                         { QKeySequence(Qt::CTRL | Qt::Key_L) }, false))
    , m_saveSamples(makeAction(window, "actionSaveSamples", tr("&Save Samples…"),
                               { QKeySequence(Qt::CTRL | Qt::Key_S) }, false))
    , m_copyStatistics(makeAction(window, "actionCopyStatistics", tr("&Copy Statistics"),
                                  { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C) }, false))
    , m_fixedRanges(makeAction(window, "actionFixedRanges", tr("Fi&xed Ranges"),
                               { QKeySequence(Qt::CTRL | Qt::Key_F) }, true))
    , m_showScale(makeAction(window, "actionShowScale", tr("Scale &Values"),
                             { QKeySequence(Qt::CTRL | Qt::Key_T) }, true))
{
    if (m_settings) // none when config.ini is not a regular file
        m_saved.read(*m_settings);

    chart->setContextMenuPolicy(Qt::ActionsContextMenu);
    chart->addActions({ m_record, makeSeparator(window), m_freeze, m_clear, makeSeparator(window),
                        m_saveSamples, m_copyStatistics, makeSeparator(window), m_fixedRanges,
                        m_showScale });
    chart->changeLook([this](ChartLook &look) {
        look.fixedRanges = m_saved.fixedRanges;
        look.showScale = m_saved.showScale;
    });
    m_fixedRanges->setChecked(m_saved.fixedRanges);
    m_showScale->setChecked(m_saved.showScale);

    // triggered, not toggled: it comes from the user alone, so setting the
    // checked state to what is true never acts again.
    connect(m_record, &QAction::triggered, this, &ChartPanel::toggleRecording);
    connect(m_freeze, &QAction::triggered, this, [this](bool on) {
        m_chart->setFrozen(on);
        showState();
        noteEvent(on ? QStringLiteral("freeze") : QStringLiteral("unfreeze"));
    });
    connect(m_clear, &QAction::triggered, chart, &Chart::clear);
    connect(m_clear, &QAction::triggered, this, [this] { noteEvent(QStringLiteral("clear")); });
    connect(m_saveSamples, &QAction::triggered, this, &ChartPanel::saveSamples);
    connect(m_copyStatistics, &QAction::triggered, this, &ChartPanel::copyStatistics);
    connect(m_fixedRanges, &QAction::triggered, this, [this](bool on) {
        m_saved.fixedRanges = on;
        m_chart->changeLook([on](ChartLook &look) { look.fixedRanges = on; });
    });
    connect(m_showScale, &QAction::triggered, this, [this](bool on) {
        m_saved.showScale = on;
        m_chart->changeLook([on](ChartLook &look) { look.showScale = on; });
    });
}

void ChartPanel::close()
{
    if (isRecording() && !stopRecording())
        warnRecording(tr("The end of the recording could not be written."));
    // With the channel settings, and only what differs from the file.
    if (m_settings)
        m_saved.write(*m_settings);
}

bool ChartPanel::startRecording(const QString &path)
{
    const bool ok = m_recorder.open(path);
    if (ok) {
        const QDateTime start
            = QDateTime::currentDateTimeUtc().addMSecs(-m_recorder.elapsedNs() / 1000000);
        if (m_sidecar.begin(path, QStringLiteral("tav47"), start) && m_line.open) {
            m_sidecar.setLine(m_line.port, m_line.baud);
            m_sidecar.setRateHz(m_line.startedHz);
            noteEvent(QStringLiteral("open"), m_line.port);
            if (m_line.startedHz > 0)
                noteEvent(QStringLiteral("start"), QStringLiteral("%1 Hz").arg(m_line.startedHz));
        }
    }
    showState();
    return ok;
}

bool ChartPanel::stopRecording()
{
    const bool ok = m_recorder.close();
    m_sidecar.end();
    showState();
    return ok;
}

void ChartPanel::noteEvent(const QString &event, const QString &detail)
{
    if (m_sidecar.isActive() && m_recorder.isOpen())
        m_sidecar.addEvent(double(m_recorder.elapsedNs()) / 1e9, event, detail);
}

void ChartPanel::noteLineOpened(const QString &port, qint32 baud)
{
    m_line = { true, port, baud, 0 };
    if (m_sidecar.isActive())
        m_sidecar.setLine(port, baud);
    noteEvent(QStringLiteral("open"), port);
}

void ChartPanel::noteLineClosed(bool lost)
{
    if (!m_line.open)
        return;
    m_line.open = false;
    m_line.startedHz = 0;
    noteEvent(lost ? QStringLiteral("device_lost") : QStringLiteral("close"), m_line.port);
}

void ChartPanel::noteStarted(int rateHz)
{
    m_line.startedHz = rateHz;
    if (m_sidecar.isActive())
        m_sidecar.setRateHz(rateHz);
    noteEvent(QStringLiteral("start"), QStringLiteral("%1 Hz").arg(rateHz));
}

void ChartPanel::noteStopped()
{
    m_line.startedHz = 0;
    noteEvent(QStringLiteral("stop"));
}

void ChartPanel::toggleRecording(bool on)
{
    if (!on) {
        if (!stopRecording())
            warnRecording(tr("The end of the recording could not be written."));
        return;
    }
    const QString path = askSaveFile(tr("Record to CSV"), QStringLiteral("tav47-"));
    if (path.isEmpty())
        showState(); // unchecks the action again
    else if (!startRecording(path))
        warnRecording(tr("The recording could not start."));
}

void ChartPanel::flushRecording()
{
    const QString notesError = m_sidecar.takeError();
    if (!notesError.isEmpty())
        emit notice(notesError);
    // Only while open: a failed write closes the file, so the message comes
    // once, even as the timer goes on under the message box.
    if (m_recorder.isOpen() && !m_recorder.flushIfDue()) {
        showState();
        warnRecording(tr("Recording stopped: a write failed. The rows before it are kept."));
    }
}

void ChartPanel::warnRecording(const QString &what)
{
    QMessageBox::warning(m_window, tr("Recording"),
                         QStringLiteral("%1\n\n%2").arg(what, m_recorder.error()));
}

QString ChartPanel::askSaveFile(const QString &caption, const QString &namePrefix)
{
    // The program runs in its own folder, which is no place for data.
    QString folder = m_saved.folder;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString name = namePrefix
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".csv");
    const QString path = m_saveFileDialog(m_window, caption, QDir(folder).filePath(name),
                                          tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        m_saved.folder = QFileInfo(path).absolutePath();
    return path;
}

void ChartPanel::saveSamples()
{
    // The samples shown when asked: frames go on arriving while the dialog is up.
    QStringList names;
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k)
        names.append(m_names.at(k)->text());
    const QByteArray samples = ScreenText::samplesCsv(m_chart->shownModel(), names);
    const QString path = askSaveFile(tr("Save Samples"), QStringLiteral("tav47-samples-"));
    if (path.isEmpty())
        return;
    // Written aside and renamed over the file: a failed save leaves an older
    // file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(samples) < 0 || !file.commit())
        QMessageBox::warning(
            m_window, tr("Save Samples"),
            tr("The samples could not be saved.\n\n%1: %2").arg(path, file.errorString()));
}

void ChartPanel::copyStatistics()
{
    QStringList names, values;
    for (int k = 0; k < m_readouts.size(); ++k) {
        names.append(m_names.at(k)->text());
        values.append(m_readouts.at(k)->text());
    }
    // Not a readout: worked out only here, over the distances on screen.
    const ChannelSeries &dis = m_chart->shownModel().series[ChannelModel::Distance];
    names.append(QStringLiteral("Noise_Dis"));
    values.append(
        QString::number(SeriesStats::differenceNoise(dis.constData(), dis.size()), 'f', 2));
    QGuiApplication::clipboard()->setText(ScreenText::statistics(names, values));
}

void ChartPanel::showState()
{
    const bool recording = isRecording();
    const bool frozen = m_chart->isFrozen();
    m_record->setChecked(recording);
    m_freeze->setChecked(frozen);
    m_chart->changeLook([recording](ChartLook &look) { look.showRecordingMark = recording; });
    QStringList states;
    if (recording)
        states.append(tr("recording"));
    if (frozen)
        states.append(tr("frozen"));
    m_window->setWindowTitle(states.isEmpty() ? m_baseTitle
                                              : QStringLiteral("%1 — %2").arg(
                                                  m_baseTitle, states.join(QStringLiteral(", "))));
}
