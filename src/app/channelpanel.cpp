#include "channelpanel.h"

#include "channelsettings.h"
#include "chart.h"
#include "readouts.h"
#include "varlabel.h"

#include <QLineEdit>
#include <QSettings>

namespace {

// The chart holds colours and ranges, the panel the names: gathered here so
// the file is read and written in one place.
ChannelSettings currentSettings(const Chart &chart,
                                const std::array<QString, ChannelModel::ChannelCount> &names)
{
    ChannelSettings values;
    for (size_t k = 0; k < ChannelSettings::Channels; ++k) {
        values.colors[k] = chart.channelColors[k];
        values.min[k] = chart.channelMin[k];
        values.max[k] = chart.channelMax[k];
        values.names[k] = names[k];
    }
    return values;
}

} // namespace

ChannelPanel::ChannelPanel(QObject *parent, Chart *chart, QList<QLineEdit *> readouts,
                           QList<Varlabel *> labels, QSettings *settings)
    : QObject(parent)
    , m_chart(chart)
    , m_readouts(std::move(readouts))
    , m_labels(std::move(labels))
    , m_settings(settings)
{
    m_names[0] = tr("Dis");
    m_names[1] = tr("Engy");
    m_names[2] = tr("Temp");
    m_names[3] = tr("Ambient");
    m_names[4] = tr("Dis_Avr10");
    m_names[5] = tr("STD_Engy");
    m_names[6] = tr("STD_Dis");

    load();

    // Every readout starts in its channel's colour, shown or not.
    for (int k = 0; k < m_readouts.size(); ++k) {
        paint(k, m_chart->channelColors[size_t(k)]);
        // A name from the file is text: markup in it would be rendered, and an
        // image in it loaded from wherever it points.
        m_labels.at(k)->setTextFormat(Qt::PlainText);
        m_labels.at(k)->setText(m_names[size_t(k)]);
    }

    // Channels 5 and 6 are statistics without a curve: their labels toggle
    // nothing.
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k)
        connect(m_labels.at(k), &Varlabel::clicked, this, [this, k] { toggle(k); });
}

void ChannelPanel::load()
{
    if (!m_settings)
        return;
    ChannelSettings values = currentSettings(*m_chart, m_names);
    values.read(*m_settings);
    for (size_t k = 0; k < ChannelSettings::Channels; ++k) {
        m_chart->channelColors[k] = values.colors[k];
        m_chart->channelMin[k] = values.min[k];
        m_chart->channelMax[k] = values.max[k];
        m_names[k] = values.names[k];
    }
}

void ChannelPanel::save()
{
    if (m_settings)
        currentSettings(*m_chart, m_names).save(*m_settings);
}

void ChannelPanel::toggle(int channel)
{
    bool &visible = m_chart->channelVisible[size_t(channel)];
    visible = !visible;
    paint(channel, visible ? m_chart->channelColors[size_t(channel)] : QColor(Qt::white));
}

void ChannelPanel::paint(int channel, const QColor &color)
{
    m_palette.setBrush(QPalette::All, QPalette::Base, QBrush(color, Qt::SolidPattern));
    m_readouts.at(channel)->setPalette(m_palette);
}

void ChannelPanel::refresh(const Measurement &latest)
{
    if (m_chart->isFrozen())
        return; // they hold what they showed, as the chart does
    const auto texts = Readouts::texts(latest, m_chart->model());
    for (int k = 0; k < Readouts::Count; ++k) {
        // Rewriting a line edit repaints it even when the text is the same.
        QLineEdit *readout = m_readouts.at(k);
        if (readout->text() != texts[size_t(k)])
            readout->setText(texts[size_t(k)]);
    }
}
