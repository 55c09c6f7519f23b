#pragma once

#include "chartranges.h"

#include <QDialog>
#include <QStringList>

class Chart;
class QLabel;
class QSpinBox;

// Min and Max of each plotted channel, applied to the chart as they are typed:
// what Fixed Ranges draws the curves between. A Max not above its Min is
// refused with a message beside it, and the chart keeps the last good pair.
// Non-modal: the curves move behind it while it is open.
class ChartRangesDialog : public QDialog
{
    Q_OBJECT

public:
    ChartRangesDialog(QWidget *parent, Chart *chart, const QStringList &names);

    QSpinBox *minBox(int channel) const { return m_min[size_t(channel)]; }
    QSpinBox *maxBox(int channel) const { return m_max[size_t(channel)]; }
    QString message(int channel) const;
    // The samples on screen with a margin, into the boxes and the chart.
    void fromSamples();

protected:
    void showEvent(QShowEvent *event) override;

private:
    static QString refusedText();
    void showLimits(const ChartRanges::Limits &min, const ChartRanges::Limits &max);
    void apply(int channel);

    Chart *m_chart;
    std::array<QSpinBox *, ChannelModel::PlottedChannels> m_min {};
    std::array<QSpinBox *, ChannelModel::PlottedChannels> m_max {};
    std::array<QLabel *, ChannelModel::PlottedChannels> m_messages {};
};
