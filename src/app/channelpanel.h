#pragma once

#include "channelmodel.h"

#include <QList>
#include <QObject>
#include <QPalette>
#include <QString>

#include <array>

class Chart;
class QColor;
class QLineEdit;
class QSettings;
class Varlabel;
struct Measurement;

// The seven readouts beside the chart and their names: each readout in its
// channel's colour, white while the curve is hidden; clicking a plotted
// channel's name shows or hides its curve. The names, with the chart's colours
// and ranges, are the channel sections of config.ini, read at start and saved
// on close.
class ChannelPanel : public QObject
{
    Q_OBJECT

public:
    // `readouts` and `labels` in channel order; `settings` may be null (no
    // config.ini). Reads the file and sets the labels' names.
    ChannelPanel(QObject *parent, Chart *chart, QList<QLineEdit *> readouts,
                 QList<Varlabel *> labels, QSettings *settings);

    // The readouts' texts for `latest` and the chart's samples; a frozen
    // chart's readouts hold what they showed.
    void refresh(const Measurement &latest);
    // The channel sections, only what changed.
    void save();

private:
    void load();
    void toggle(int channel);
    void paint(int channel, const QColor &color);

    Chart *m_chart;
    QList<QLineEdit *> m_readouts;
    QList<Varlabel *> m_labels;
    QSettings *m_settings;
    QPalette m_palette;
    std::array<QString, ChannelModel::ChannelSlots> m_names;
};
