#include "channelpanel.h"

#include "channelsettings.h"
#include "chart.h"
#include "readouts.h"
#include "varlabel.h"

#include <QLineEdit>
#include <QSettings>

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
        paint(k, m_chart->look().colours[size_t(k)]);
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
    // The chart holds colours and ranges, the panel the names.
    ChannelSettings values { m_chart->look(), m_names };
    values.read(*m_settings);
    m_chart->setLook(values.look);
    m_names = values.names;
}

void ChannelPanel::save()
{
    if (m_settings)
        ChannelSettings { m_chart->look(), m_names }.save(*m_settings);
}

void ChannelPanel::toggle(int channel)
{
    const size_t k = size_t(channel);
    m_chart->changeLook([k](ChartLook &look) { look.shown[k] = !look.shown[k]; });
    const ChartLook &look = m_chart->look();
    paint(channel, look.shown[k] ? look.colours[k] : QColor(Qt::white));
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
